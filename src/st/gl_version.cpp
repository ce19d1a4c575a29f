// Says which OpenGL a context offers when it is too old for the show.
#include "st/gl_version.h"

#include "st/gl.h"

namespace st {

static std::string glText(GLenum name) {
#ifdef GLAD_GL
  // glad's loader leaves glGetString unset where it could not even open the GL library.
  const GLubyte* text = glad_glGetString ? glGetString(name) : nullptr;
#else
  const GLubyte* text = glGetString(name);  // the browser's WebGL, always bound
#endif
  return text && *text ? reinterpret_cast<const char*>(text) : "none";
}

std::string describeGlShortfall() {
  return "OpenGL found: " + glText(GL_VERSION) + "; renderer: " + glText(GL_RENDERER) +
         "; needed: OpenGL " + std::to_string(NEEDED_GL_MAJOR) + "." + std::to_string(NEEDED_GL_MINOR);
}

}  // namespace st

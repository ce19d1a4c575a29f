// One hidden GL window per test process, made like the show's own.
#include "support/gl_context.h"

#include "st/gl.h"

#if defined(__SANITIZE_ADDRESS__)
// SDL's video start-up leaves a buffer of the system D-Bus library behind for the life of
// the process; that one is not ours to free, so the leak check skips it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
#endif

namespace test {
namespace {
SDL_Window* window = nullptr;
bool tried = false;
bool ok = false;
}  // namespace

bool ensureGlContext(int width, int height) {
  if (tried) return ok;
  tried = true;
  if (SDL_Init(SDL_INIT_VIDEO) < 0) return false;
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                            SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window) return false;
  if (!SDL_GL_CreateContext(window)) return false;
  if (!gladLoaderLoadGL()) {
    SDL_SetError("gladLoaderLoadGL failed");
    return false;
  }
  glViewport(0, 0, width, height);
  ok = true;
  return true;
}

SDL_Window* glWindow() { return window; }

}  // namespace test

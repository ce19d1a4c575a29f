// An off-screen 2048x2048 render target: framebuffer, colour texture and depth buffer.
// Binding saves the current framebuffer and viewport; unbinding restores them.
#pragma once
#include "st/gl.h"

namespace st {

class Renderbuf {
 public:
  GLuint fbo = 0;
  GLuint depthRb = 0;
  GLuint tex = 0;
  GLint savedFbo = 0;
  GLint savedViewport[4] = {0, 0, 0, 0};
  int width = 0;
  int height = 0;

  Renderbuf() = default;
  virtual ~Renderbuf();
  Renderbuf(const Renderbuf&) = delete;
  Renderbuf& operator=(const Renderbuf&) = delete;

  void init();
  void bind();
  void unbind();
};

}  // namespace st

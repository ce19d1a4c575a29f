// Render targets: a 2048x2048 RGBA8 colour texture with a depth buffer behind one FBO.
#include "st/st_renderbuf.h"

#include "st/report.h"

namespace st {

static void checkGlError(int line) { checkGlErrorIn(__FILE__, line); }

Renderbuf::~Renderbuf() {
  if (tex) {
    glDeleteTextures(1, &tex);
    checkGlError(__LINE__);
  }
  if (fbo) {
    glDeleteFramebuffers(1, &fbo);
    checkGlError(__LINE__);
  }
  if (depthRb) {
    glDeleteRenderbuffers(1, &depthRb);
    checkGlError(__LINE__);
  }
}

void Renderbuf::init() {
  width = 2048;
  height = 2048;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &savedFbo);
  checkGlError(__LINE__);
  glActiveTexture(GL_TEXTURE0);
  checkGlError(__LINE__);
  glGenTextures(1, &tex);
  checkGlError(__LINE__);
  glBindTexture(GL_TEXTURE_2D, tex);
  checkGlError(__LINE__);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  checkGlError(__LINE__);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  checkGlError(__LINE__);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (GLfloat)GL_REPEAT);
  checkGlError(__LINE__);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (GLfloat)GL_REPEAT);
  checkGlError(__LINE__);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  checkGlError(__LINE__);
  glGenFramebuffers(1, &fbo);
  checkGlError(__LINE__);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  checkGlError(__LINE__);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
  checkGlError(__LINE__);
  glGenRenderbuffers(1, &depthRb);
  checkGlError(__LINE__);
  glBindRenderbuffer(GL_RENDERBUFFER, depthRb);
  checkGlError(__LINE__);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  checkGlError(__LINE__);
  // Attached so that the floor pass's depth test has a depth buffer to test against.
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthRb);
  checkGlError(__LINE__);
  glCheckFramebufferStatus(GL_FRAMEBUFFER);
  checkGlError(__LINE__);
  glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)savedFbo);
  checkGlError(__LINE__);
}

void Renderbuf::bind() {
  glGetIntegerv(GL_VIEWPORT, savedViewport);
  checkGlError(__LINE__);
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &savedFbo);
  checkGlError(__LINE__);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  checkGlError(__LINE__);
  glViewport(0, 0, width, height);
  checkGlError(__LINE__);
}

void Renderbuf::unbind() {
  glViewport(savedViewport[0], savedViewport[1], savedViewport[2], savedViewport[3]);
  checkGlError(__LINE__);
  glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)savedFbo);
  checkGlError(__LINE__);
}

}  // namespace st

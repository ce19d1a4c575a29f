// A real OpenGL context (SDL window, hidden) for the GL tests; needs a display (Xvfb).
#pragma once
#include <SDL.h>

namespace test {

// Creates, once per process, a hidden window with the show's frame-buffer attributes and
// a current context with the GL functions loaded. Returns false (with the reason in
// SDL_GetError) when there is no display or no GL.
bool ensureGlContext(int width = 960, int height = 540);
SDL_Window* glWindow();

}  // namespace test

// Skips the current test when no GL context can be had.
#define REQUIRE_GL()                                                       \
  do {                                                                     \
    if (!test::ensureGlContext()) GTEST_SKIP() << "no GL context: " << SDL_GetError(); \
  } while (0)

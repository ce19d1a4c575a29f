// The show's 16:9 picture inside a window of any shape: the same letterbox on the desktop,
// in the capture and in the browser.
#pragma once
#include <cstdint>

struct Viewport {
  int x, y, width, height;
};

// The letterboxed 16:9 rectangle for a window of the given size.
Viewport letterboxViewport(int32_t width, int32_t height);
// Sets that rectangle as the GL viewport; done when the window's size is known or changes.
void applyLetterbox(int32_t width, int32_t height);

// The show's 16:9 picture inside a window of any shape. Kept apart from the SDL shell so
// that the browser build computes the same letterbox.
#pragma once
#include <cstdint>

struct Viewport {
  int x, y, width, height;
};

// The letterboxed 16:9 rectangle for a window of the given size.
Viewport letterboxViewport(int32_t width, int32_t height);

// The frame's time bases derived from the music time.
#pragma once
#include <cstdint>

struct FrameClock {
  float t;             // music time in single precision, seconds
  int32_t M;           // music milliseconds
  int32_t slot;        // ten-second slot number
  int32_t timeInSlot;  // 0..9999 ms
  float fade;          // 1 for the first nine seconds of a slot, then down towards 0
};

FrameClock deriveClock(double musicTime);

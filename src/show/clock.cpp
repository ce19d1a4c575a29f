// Slot, time in slot and fade from the music time, in the precisions the script relies on.
#include "show/clock.h"

#include <cmath>

FrameClock deriveClock(double musicTime) {
  FrameClock c;
  c.t = (float)musicTime;
  float ms = c.t * 1000.0f;
  c.M = (int32_t)(float)std::floor((double)ms);
  c.slot = c.M / 10000;
  c.timeInSlot = c.M - c.slot * 10000;
  float fade = 10.0f - (float)c.timeInSlot / 1000.0f;
  if (fade > 1.0f) fade = 1.0f;
  if (fade < 0.0f) fade = 0.0f;
  c.fade = fade;
  return c;
}

// The capture's display: without one set, it starts a virtual display (Xvfb) of its own, as
// a child process that goes down with it.
#pragma once
#include <csignal>

// Makes sure DISPLAY names a display to render in, starting Xvfb when none is set; false
// when none can be had, or when `stop` is set (a stop signal came) while waiting for it.
bool ensureDisplay(const volatile sig_atomic_t& stop);
// Takes down the virtual display this process started, if any.
void stopVirtualDisplay();

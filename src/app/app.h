// The application shell: window, GL context, viewport, events, the frame loop.
#pragma once
#include <SDL.h>

#include <cstdint>

#include "app/viewport.h"

extern SDL_Window* window;
extern int32_t windowWidth;
extern int32_t windowHeight;

// Starts SDL's video. A driver that shows nothing (offscreen, dummy) counts as a failure
// unless SDL_VIDEODRIVER names it: SDL falls back to one when no display can be reached.
bool initVideoSubsystem();
// Full screen (mode <= 1) or a centred 960x540 window; exits on failure.
void initVideo(int mode);
// The asset paths are relative ("assets/..."): when the working directory has no assets
// folder but the program's own folder has one (started from a shortcut or another
// directory), the program's folder becomes the working directory.
void findAssets();
// Drains the event queue; quits on SDL_QUIT or any key release.
void handleEvents();
// One frame: clocks, geometry, passes, 1 ms sleep, swap.
void renderFrame();
// Stops the sound and closes the audio device.
void shutdownAudio();

// The two start-up message printers (on Windows each also opens a message box).
void printError(const char* format, ...);
void printOut(const char* format, ...);

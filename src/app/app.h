// The application shell: window, GL context, viewport, events, the frame loop.
#pragma once
#include <SDL.h>

#include <cstdint>

#include "music/soundtrack.h"
#include "show/show.h"

// Everything the program holds: the window, the show and its music. One static instance
// lives in main(), so the music engine is shut down by the normal process exit.
struct App {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;  // kept only to be released before SDL closes the display
  int32_t windowWidth = 0;
  int32_t windowHeight = 0;
  Show show;
  Soundtrack music;
};

// Starts SDL's video. A driver that shows nothing (offscreen, dummy) counts as a failure
// unless SDL_VIDEODRIVER names it: SDL falls back to one when no display can be reached.
bool initVideoSubsystem();
// Full screen (mode <= 1) or a centred 960x540 window; exits on failure.
void initVideo(App& app, int mode);
// The asset paths are relative ("assets/..."): when the working directory has no assets
// folder but the program's own folder has one (started from a shortcut or another
// directory), the program's folder becomes the working directory.
void findAssets();
// The scene, then the music on the audio device: the last act before the first frame.
void setupShow(App& app);
// Drains the event queue; quits on SDL_QUIT (a window close, SIGINT, SIGTERM), any key
// release or a hang-up.
void handleEvents(App& app);
// Ends the show with status 0: audio shut down, the GL context released, the window
// destroyed, SDL closed. Does not return.
[[noreturn]] void quitShow(App& app);
// A hang-up (SIGHUP) ends the show like a quit event, unless the caller ignores it.
void quitOnHangUp();
// One frame: clocks, geometry, passes, 1 ms sleep, swap.
void renderFrame(App& app);

// The two start-up message printers (on Windows each also opens a message box).
void printError(const char* format, ...);
void printOut(const char* format, ...);

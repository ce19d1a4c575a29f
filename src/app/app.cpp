// Window and context creation, the letterboxed viewport, event handling and the frame loop.
#include "app/app.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "host/host.h"
#include "show/viewport.h"
#include "st/gl.h"
#include "st/gl_version.h"

// Where the show has no console (Windows, a GUI program), a start-up failure written only
// to a stream would reach nobody who double-clicked it, so there it also opens a box.
// Elsewhere the streams stay the only report, as they are where the show is started.
static void showStartupFailure(const char* format, va_list args) {
  if (!host::hasNoConsole()) return;
  char text[2048];
  vsnprintf(text, sizeof text, format, args);
  size_t length = strlen(text);
  if (length > 0 && text[length - 1] == '\n') text[length - 1] = '\0';
  host::showErrorBox("zOOv 2020: start-up failed", text);
}

void printError(const char* format, ...) {
  va_list args, boxArgs;
  va_start(args, format);
  va_copy(boxArgs, args);
  vfprintf(stderr, format, args);
  showStartupFailure(format, boxArgs);
  va_end(boxArgs);
  va_end(args);
}

void printOut(const char* format, ...) {
  va_list args, boxArgs;
  va_start(args, format);
  va_copy(boxArgs, args);
  vfprintf(stdout, format, args);
  fflush(stdout);
  showStartupFailure(format, boxArgs);
  va_end(boxArgs);
  va_end(args);
}

void findAssets() {
  std::error_code error;
  if (std::filesystem::is_directory("assets", error)) return;
  char* base = SDL_GetBasePath();
  if (!base) return;
  std::filesystem::path programDir = std::filesystem::u8path(base);  // SDL speaks UTF-8
  SDL_free(base);
  if (std::filesystem::is_directory(programDir / "assets", error)) {
    std::filesystem::current_path(programDir, error);
  }
}

bool initVideoSubsystem() {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) < 0) return false;
  // Without this check a machine with no reachable display plays the music behind a
  // window nobody sees and no key can reach.
  const char* driver = SDL_GetCurrentVideoDriver();
  bool showsNothing = strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0;
  if (showsNothing && !SDL_getenv("SDL_VIDEODRIVER")) {
    SDL_SetError("no display could be opened (SDL fell back to the %s driver)", driver);
    return false;
  }
  return true;
}

// The window and its context, with the frame-buffer attributes set now. False when
// either is refused; a window made without its context stays in app.window.
static bool openWindow(App& app, Uint32 flags) {
  // Created untitled; main() titles it once the context exists.
  app.window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                app.windowWidth, app.windowHeight, flags);
  if (!app.window) return false;
  app.context = SDL_GL_CreateContext(app.window);
  return app.context != nullptr;
}

void initVideo(App& app, int mode) {
  SDL_Rect bounds;
  SDL_GetDisplayBounds(0, &bounds);

  Uint32 flags;
  if (mode > 1) {
    app.windowWidth = 960;
    app.windowHeight = 540;
    flags = SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
  } else {
    SDL_ShowCursor(SDL_DISABLE);
    app.windowWidth = bounds.w;
    app.windowHeight = bounds.h;
    flags = SDL_WINDOW_FULLSCREEN | SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN;
  }

  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
  SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 4);

  // 4x multisampling first. A display or driver that offers no multisampled visual
  // (softpipe, many virtual machines and remote displays) refuses the window, or the
  // context, for it: the show then plays without anti-aliasing rather than not at all.
  if (!openWindow(app, flags)) {
    std::string refusal = SDL_GetError();
    if (app.window) SDL_DestroyWindow(app.window);
    app.window = nullptr;
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
    bool opened = openWindow(app, flags);
    if (!app.window) {
      // A failed start-up is not a success: exit status 1 (the message stays as it was).
      printError("Video mode set failed: %s\n", SDL_GetError());
      SDL_Quit();
      exit(1);
    }
    // A window without a context goes on to the GL loader, which reports it.
    if (opened) {
      fprintf(stderr, "No 4x multisampled window here (%s): playing without anti-aliasing\n",
              refusal.c_str());
    }
  }
  SDL_GL_SetSwapInterval(1);

  // glad opens the system's libGL itself, resolves every entry point through it and
  // reports the version the context answered (0 when there is no usable context). A
  // context below 3.3 lacks entry points the show calls, so it counts as a failure too,
  // said before any set-up rather than as a crash or a string of error boxes later.
  int version = gladLoaderLoadGL();
  const int needed = GLAD_MAKE_VERSION(st::NEEDED_GL_MAJOR, st::NEEDED_GL_MINOR);
  if (version < needed && app.context) {
    // Some drivers give the default (compatibility) context a lower version than a core
    // one: Mesa's llvmpipe before 21 (Debian 11) answers 3.1 there, 4.5 in core. The show
    // uses only what the 3.3 core profile has, so it asks for that next, and keeps the
    // default context (to name what it found) if the driver has no such context either.
    // Where the default context is 3.3 or newer nothing changes.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, st::NEEDED_GL_MAJOR);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, st::NEEDED_GL_MINOR);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext core = SDL_GL_CreateContext(app.window);
    if (core) {
      SDL_GL_DeleteContext(app.context);
      app.context = core;
      SDL_GL_MakeCurrent(app.window, core);
      SDL_GL_SetSwapInterval(1);
    } else {
      SDL_GL_MakeCurrent(app.window, app.context);
    }
    gladLoaderUnloadGL();
    version = gladLoaderLoadGL();
  }
  if (version < needed) {
    printOut("Something went wrong!\n%s\n", st::describeGlShortfall().c_str());
    exit(-1);
  }
  gladLoaderUnloadGL();  // drops glad's handle only: SDL keeps libGL loaded for the context

  applyLetterbox(app.windowWidth, app.windowHeight);
  glEnable(GL_MULTISAMPLE);
}

void setupShow(App& app) {
  setupScene(app.show);
  app.music.soloud.init();
  startMusic(app.music);
}

void quitShow(App& app) {
  app.music.soloud.deinit();
  // The context goes before SDL closes the display: drivers that work for the context on
  // threads of their own (Zink) crash when the display vanishes under a live context.
  if (app.context) {
    SDL_GL_MakeCurrent(app.window, nullptr);
    SDL_GL_DeleteContext(app.context);
    app.context = nullptr;
  }
  if (app.window) SDL_DestroyWindow(app.window);
  app.window = nullptr;
  SDL_Quit();
  exit(0);
}

#ifdef SIGHUP
// SDL turns SIGINT and SIGTERM into a quit event; a hang-up (the terminal closed, a
// session ended) ends the show the same way, at the next look at the event queue.
static volatile sig_atomic_t hungUp = 0;
extern "C" void noteHangUp(int) { hungUp = 1; }
#endif

void quitOnHangUp() {
#ifdef SIGHUP
  struct sigaction current;
  // Left alone where the caller ignores it (nohup) or has its own plans for it.
  if (sigaction(SIGHUP, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction note;
  memset(&note, 0, sizeof note);
  note.sa_handler = noteHangUp;
  sigemptyset(&note.sa_mask);
  sigaction(SIGHUP, &note, nullptr);
#endif
}

void handleEvents(App& app) {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      // Both quit events take one path: audio first, then the context, then SDL.
      case SDL_QUIT:
      case SDL_KEYUP:
        quitShow(app);
      case SDL_AUDIODEVICEREMOVED:
        // The sound server died or the device was unplugged: the music goes on unheard.
        if (!event.adevice.iscapture) app.music.soloud.deviceRemoved(event.adevice.which);
        break;
      default:
        break;
    }
  }
#ifdef SIGHUP
  if (hungUp) quitShow(app);
#endif
}

void renderFrame(App& app) {
  int32_t tick = (int32_t)SDL_GetTicks();
  drawFrame(app.show, {tick, musicTime(app.music)});
  SDL_Delay(1);
  SDL_GL_SwapWindow(app.window);
}

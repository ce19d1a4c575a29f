// Window and context creation, the letterboxed viewport, event handling and the frame loop.
#include "app/app.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/host.h"
#include "show/viewport.h"
#include "st/gl.h"

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

  // Created untitled; main() titles it once the context exists.
  app.window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                app.windowWidth, app.windowHeight, flags);
  if (!app.window) {
    // An X server may offer no multisampled GL visual at all (Debian 13's Xvfb with Mesa
    // 25 has none): the show then runs without multisampling rather than not at all.
    // Wherever a multisampled window opens nothing changes.
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
    app.window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  app.windowWidth, app.windowHeight, flags);
  }
  if (!app.window) {
    // A failed start-up is not a success: exit status 1 (the message stays as it was).
    printError("Video mode set failed: %s\n", SDL_GetError());
    SDL_Quit();
    exit(1);
  }
  SDL_GLContext context = SDL_GL_CreateContext(app.window);

  // glad opens the system's libGL itself, resolves every entry point through it and
  // reports the version the context answered (0 when there is no usable context). A
  // context below 3.3 lacks entry points the show calls, so it counts as a failure too
  // rather than a crash on the first missing function.
  int version = gladLoaderLoadGL();
  gladLoaderUnloadGL();  // drops glad's handle only: SDL keeps libGL loaded for the context
  if (version < GLAD_MAKE_VERSION(3, 3)) {
    // Some drivers give the default (compatibility) context a lower version than a core
    // one: Mesa's llvmpipe before 21 (Debian 11) answers 3.1 there, 4.5 in core. The show
    // uses only what the 3.3 core profile has, so it asks for that next. Where the default
    // context is 3.3 or newer nothing changes.
    if (context) SDL_GL_DeleteContext(context);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    context = SDL_GL_CreateContext(app.window);
    version = gladLoaderLoadGL();
    gladLoaderUnloadGL();
  }
  SDL_GL_SetSwapInterval(1);
  if (version < GLAD_MAKE_VERSION(3, 3)) {
    printOut("Something went wrong!\n");
    exit(-1);
  }

  applyLetterbox(app.windowWidth, app.windowHeight);
  glEnable(GL_MULTISAMPLE);
}

void setupShow(App& app) {
  setupScene(app.show);
  app.music.soloud.init();
  startMusic(app.music);
}

void handleEvents(App& app) {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        app.music.soloud.deinit();
        SDL_Quit();
        exit(0);
      case SDL_KEYUP:
        app.music.soloud.deinit();
        exit(0);
      default:
        break;
    }
  }
}

void renderFrame(App& app) {
  int32_t tick = (int32_t)SDL_GetTicks();
  drawFrame(app.show, {tick, musicTime(app.music)});
  SDL_Delay(1);
  SDL_GL_SwapWindow(app.window);
}

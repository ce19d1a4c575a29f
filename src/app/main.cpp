// zoov2020: opens the window, sets up the show and runs it until a key is released or the
// window is closed. Any command-line argument selects a 960x540 window.
#include "app/app.h"

int main(int argc, char** argv) {
  (void)argv;
  // Static: its music engine is shut down by the normal process exit, as on the quit events.
  static App app;
  if (!initVideoSubsystem()) {
    printError("Video initialization failed: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  quitOnHangUp();
  initVideo(app, argc);
  SDL_SetWindowTitle(app.window, "zOOv 2020");
  findAssets();
  setupShow(app);
  for (;;) {
    handleEvents(app);
    renderFrame(app);
  }
}

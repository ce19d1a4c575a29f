// zoov2020: opens the window, sets up the show and runs it until a key is released or the
// window is closed. Any command-line argument selects a 960x540 window.
#include "app/app.h"
#include "show/scene.h"

int main(int argc, char** argv) {
  (void)argv;
  if (!initVideoSubsystem()) {
    printError("Video initialization failed: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  initVideo(argc);
  SDL_SetWindowTitle(window, "zOOv 2020");
  findAssets();
  setupScene();
  for (;;) {
    handleEvents();
    renderFrame();
  }
}

// PLACEHOLDER until the render pipeline lands: clears the scene target and releases it.
#include "app/app.h"
#include "show/frame.h"
#include "show/scene.h"

void renderPasses(int32_t tick) {
  (void)tick;
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  sceneTarget->unbind();
}

// The eight render passes of a frame, in two halves: the scene into its target, then the
// blur and the compose into the window. Called by drawFrame alone.
#pragma once
#include <cstdint>

#include "show/show.h"

// Passes 1-5: floor, lines, sprites and their mirror image into sceneTarget, bound and
// released here. The projection keeps the picture's 16:9 whatever the window's shape.
void renderScenePasses(Show& show, int32_t tick);
// Passes 6-8: the two blur directions and the compose into the window's viewport.
void renderPostPasses(Show& show, int32_t tick);

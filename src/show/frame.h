// One frame of the show, split so that the live loop and the capture tool share it.
#pragma once
#include <cstdint>

// Everything of a frame up to and including the compose pass into the window's
// viewport: sprites, script, matrices, the eight passes. Reads the music time itself.
void buildFrame(int32_t tick);
// The same with the music time given: the browser reads it from what the listener hears.
void buildFrameAt(int32_t tick, double musicTime);

// A frame nobody sees: only the state that frames carry into the next ones (the sprites
// and the emission flag) moves on, as buildFrame would move it; nothing is drawn. See
// advanceSprites for `particles`.
void advanceUnseenFrame(int32_t tick, bool particles);

// The eight render passes for this frame's geometry (sceneTarget is bound on entry).
void renderPasses(int32_t tick);
// Its two halves: passes 1-5 draw the scene into sceneTarget and unbind it; passes 6-8
// blur sceneTarget and compose it into the window's viewport.
void renderScenePasses(int32_t tick);
void renderPostPasses(int32_t tick);

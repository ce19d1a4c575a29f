// The show: every object a frame draws with and every state a frame carries into the
// next, in one record that set-up fills and the one frame entry runs. The desktop loop,
// the capture tool, the browser, the tests and the benchmarks all go through it.
#pragma once
#include <cstdint>

#include "fx/lines.h"
#include "fx/sprites.h"
#include "fx/tendrils.h"
#include "fx/well512.h"
#include "st/st_renderbuf.h"
#include "st/st_shader.h"
#include "st/st_vertexbuffer.h"
#include "text/star.h"

struct Show {
  // The scene, made once by setupScene and never released.
  st::Vertexbuffer* boxBuffer = nullptr;
  st::Vertexbuffer* lineBuffer = nullptr;
  st::Vertexbuffer* screenQuad = nullptr;
  st::Vertexbuffer* spriteBuffer = nullptr;

  st::Shader floorShader;
  st::Shader linesShader;
  st::Shader composeShader;
  st::Shader blurShader;
  st::Shader spritesShader;

  st::Renderbuf* sceneTarget = nullptr;
  st::Renderbuf* blurTargetH = nullptr;
  st::Renderbuf* blurTargetV = nullptr;

  // The CPU side of lineBuffer and spriteBuffer, refilled by every frame.
  LineBatch lines;
  SpriteInstances spriteInstances;

  // The three generators: the fountain's runs on for ever, the figures' are reseeded per
  // shape. Each figure keeps its last shape, as the generator left it.
  Well512 spriteRng;
  Well512 figureRng;
  Well512 starRng;
  TendrilShape tendrilShape;
  StarShape starShape;

  // The particles and their fixed-step clock.
  Fountain fountain;

  // 1 while the music is in the fountain's window. The script sets it from this frame's
  // music time; the sprites spawn on it in the next frame, so the fountain starts and stops
  // one frame after the music crosses the window's edges.
  int emissionFlag = 0;
};

// What one frame is computed from.
struct FrameInput {
  int32_t tick;          // milliseconds, as SDL counts them
  double musicTime;      // the playing position of the music, in seconds
};
// The letterboxed viewport of the window (applyLetterbox) is already in force when a frame
// is drawn; the frame itself does not depend on the window's shape.

// The shader sources of the five programs, vertex then fragment, in the order of loading:
// floor, lines, compose, blur, sprites.
extern const char* const sceneShaderFiles[10];

// Buffers, programs and targets, in that order.
void setupScene(Show& show);

// One frame up to and including the compose pass into the window's viewport: both
// halves below, one after the other.
void drawFrame(Show& show, const FrameInput& input);
// The CPU half: the sprites advance and the script builds this frame's lines; what they
// write stays in show.spriteInstances and show.lines.
void buildFrameGeometry(Show& show, const FrameInput& input);
// The GL half: the two batches are handed to their buffers (uploaded at their first
// bind), then the matrices and the eight passes.
void renderFramePasses(Show& show, const FrameInput& input);

// A frame nobody sees: only what frames carry into the next ones (the sprites and the
// emission flag) moves on, as drawFrame would move it; nothing is drawn. See
// advanceSprites for `particles`.
void advanceUnseenFrame(Show& show, int32_t tick, double musicTime, bool particles);

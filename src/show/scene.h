// The scene objects made once by setupScene and used by every frame.
#pragma once
#include "music/soloud.h"
#include "st/st_renderbuf.h"
#include "st/st_shader.h"
#include "st/st_vertexbuffer.h"

extern st::Vertexbuffer* boxBuffer;
extern st::Vertexbuffer* lineBuffer;
extern st::Vertexbuffer* screenQuad;
extern st::Vertexbuffer* spriteBuffer;

extern st::Shader floorShader;
extern st::Shader linesShader;
extern st::Shader composeShader;
extern st::Shader blurShader;
extern st::Shader spritesShader;

extern st::Renderbuf* sceneTarget;
extern st::Renderbuf* blurTargetH;
extern st::Renderbuf* blurTargetV;

extern SoLoud::handle musicHandle;

// The shader sources of the five programs, vertex then fragment, in the order of loading:
// floor, lines, compose, blur, sprites.
extern const char* const sceneShaderFiles[10];

// Buffers, programs, targets, then the music: the last act before the first frame.
void setupScene();
// The GL half of setupScene alone (buffers, programs, targets), for tools and tests.
void setupSceneGraphics();
// The music half: init, load, looping from 80 s, play.
void setupSceneMusic();
// Everything of the music half after the engine's init: load, looping from 80 s, play.
void startMusic();

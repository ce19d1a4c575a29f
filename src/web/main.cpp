// zoov2020 in a web page: the shared show on a WebGL 2 canvas, its music mixed by the
// engine for the page's Web Audio graph. The page (page.js) owns the clocks and events:
// it calls zoov_frame from requestAnimationFrame with the tick and the music time that
// the listener hears, zoov_mix from the audio callback, zoov_stop on a key release.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdint>
#include <cstdio>

#include "music/soundtrack.h"
#include "show/show.h"
#include "show/viewport.h"
#include "st/report.h"
#include "web/glsl_es.h"

namespace {

// Everything the page's calls work on: the show and its music.
Show show;
Soundtrack music;

// The largest block the page asks for at once (frames of interleaved stereo).
constexpr unsigned MIX_CAPACITY = 16384;
float mixBuffer[MIX_CAPACITY * SoLoud::ENGINE_CHANNELS];

}  // namespace

extern "C" {

// The canvas's drawing-buffer size changed (page resize, full screen).
EMSCRIPTEN_KEEPALIVE void zoov_resize(int width, int height) {
  applyLetterbox(width, height);
}

// One frame of the show; the browser presents it when the animation callback returns.
EMSCRIPTEN_KEEPALIVE void zoov_frame(int32_t tick, double musicTime) {
  drawFrame(show, {tick, musicTime});
  st::endFrameGlCheck(__FILE__, __LINE__);
}

EMSCRIPTEN_KEEPALIVE float* zoov_mix_buffer() { return mixBuffer; }

// Mixes the next `frames` frames (at most MIX_CAPACITY) into zoov_mix_buffer().
EMSCRIPTEN_KEEPALIVE void zoov_mix(unsigned frames) {
  if (frames > MIX_CAPACITY) frames = MIX_CAPACITY;
  music.soloud.mix(mixBuffer, frames);
}

// The music voice's mixing position in seconds (ahead of what is heard).
EMSCRIPTEN_KEEPALIVE double zoov_music_position() {
  return ::musicTime(music);
}

EMSCRIPTEN_KEEPALIVE double zoov_music_length() { return music.musicWav.getLength(); }

// Test hook: moves the music on by mixing and dropping `seconds` of it before the start.
EMSCRIPTEN_KEEPALIVE void zoov_skip(double seconds) {
  double frames = seconds * SoLoud::ENGINE_RATE;
  while (frames >= 1.0) {
    unsigned n = frames < MIX_CAPACITY ? (unsigned)frames : MIX_CAPACITY;
    music.soloud.mix(mixBuffer, n);
    frames -= n;
  }
}

// A key was released: the sound stops as on the desktop; the page stops drawing.
EMSCRIPTEN_KEEPALIVE void zoov_stop() { music.soloud.deinit(); }
}

int main() {
  EmscriptenWebGLContextAttributes attrs;
  emscripten_webgl_init_context_attributes(&attrs);
  attrs.majorVersion = 2;
  attrs.minorVersion = 0;
  attrs.alpha = EM_FALSE;
  attrs.depth = EM_TRUE;
  attrs.stencil = EM_FALSE;
  attrs.antialias = EM_TRUE;  // the desktop asks for 4x multisampling
  attrs.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
  EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attrs);
  if (context <= 0) {
    EM_ASM({ zoovFailed("This browser offers no WebGL 2."); });
    return 0;
  }
  emscripten_webgl_make_context_current(context);

  int width = 0, height = 0;
  emscripten_get_canvas_element_size("#canvas", &width, &height);
  zoov_resize(width, height);

  convertShaderDirectory("assets");
  setupScene(show);
  // Set-up has checked every GL call; a frame checks once, since each glGetError waits for
  // the GPU process, and finds the place of an error in the frame after (st/report.h).
  st::checkGlErrorsOncePerFrame(true);
  // The engine mixes only when the page's audio callback asks, so the music waits at 0
  // until the click that starts the show.
  music.soloud.initOffline();
  startMusic(music);
  EM_ASM({ zoovReady(); });
  return 0;
}

// The browser's side of the SDL slice in include/SDL.h: reports go to the page, audio
// conversion is done here, and no SDL audio device exists.
#include <SDL.h>
#include <emscripten.h>

#include <algorithm>
#include <vector>

extern "C" {

int SDL_ShowSimpleMessageBox(Uint32, const char* title, const char* message, SDL_Window*) {
  // zoovReport (page.js) lists it on the page and logs it as an error.
  EM_ASM({ zoovReport(UTF8ToString($0), UTF8ToString($1)); }, title ? title : "",
         message ? message : "");
  return 0;
}

int SDL_InitSubSystem(Uint32) { return 0; }
void SDL_QuitSubSystem(Uint32) {}

SDL_AudioDeviceID SDL_OpenAudioDevice(const char*, int, const SDL_AudioSpec*, SDL_AudioSpec*, int) {
  EM_ASM({ console.warn("zoov2020: the page's Web Audio graph mixes the sound, not an SDL device"); });
  return 0;
}
void SDL_PauseAudioDevice(SDL_AudioDeviceID, int) {}
void SDL_CloseAudioDevice(SDL_AudioDeviceID) {}

struct SDL_AudioStream {
  int channels;
  std::vector<float> queued;
  size_t readPos = 0;
};

SDL_AudioStream* SDL_NewAudioStream(SDL_AudioFormat srcFormat, Uint8 srcChannels, int srcRate,
                                    SDL_AudioFormat dstFormat, Uint8 dstChannels, int dstRate) {
  if (srcFormat != AUDIO_S16SYS || dstFormat != AUDIO_F32SYS || dstChannels != 2 ||
      srcRate != dstRate || (srcChannels != 1 && srcChannels != 2)) {
    return nullptr;
  }
  SDL_AudioStream* s = new SDL_AudioStream;
  s->channels = srcChannels;
  return s;
}

int SDL_AudioStreamPut(SDL_AudioStream* s, const void* buf, int len) {
  const int16_t* in = static_cast<const int16_t*>(buf);
  const size_t count = (size_t)len / sizeof(int16_t);
  // SDL scales by exactly 1/32768 (a power of two, so no rounding), and a mono sample
  // goes to both sides unchanged.
  const float scale = 0.000030517578125f;
  for (size_t i = 0; i < count; ++i) {
    float v = (float)in[i] * scale;
    s->queued.push_back(v);
    if (s->channels == 1) s->queued.push_back(v);
  }
  return 0;
}

int SDL_AudioStreamAvailable(SDL_AudioStream* s) {
  return (int)((s->queued.size() - s->readPos) * sizeof(float));
}

int SDL_AudioStreamGet(SDL_AudioStream* s, void* buf, int len) {
  size_t n = std::min((size_t)len / sizeof(float), s->queued.size() - s->readPos);
  std::memcpy(buf, s->queued.data() + s->readPos, n * sizeof(float));
  s->readPos += n;
  if (s->readPos == s->queued.size()) {
    s->queued.clear();
    s->readPos = 0;
  }
  return (int)(n * sizeof(float));
}

int SDL_AudioStreamFlush(SDL_AudioStream*) { return 0; }
void SDL_FreeAudioStream(SDL_AudioStream* s) { delete s; }
}

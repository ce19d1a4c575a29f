// The slice of SDL2 that the shared show code calls, for the browser build, where there is
// no SDL: the message box becomes a report on the page, the audio format conversion is done
// here, and the audio device is the page's Web Audio graph, which mixes through the engine's
// own mix() (see page.js), so opening an SDL device always fails with a reason.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

typedef uint8_t Uint8;
typedef uint16_t Uint16;
typedef uint32_t Uint32;
typedef uint16_t SDL_AudioFormat;
typedef uint32_t SDL_AudioDeviceID;

#define SDL_LIL_ENDIAN 1234
#define SDL_BIG_ENDIAN 4321
#define SDL_BYTEORDER SDL_LIL_ENDIAN

#define SDL_INIT_AUDIO 0x00000010u
#define AUDIO_S16SYS 0x8010
#define AUDIO_F32SYS 0x8120
#define SDL_zero(x) std::memset(&(x), 0, sizeof(x))

// The window is the page's canvas; the shell keeps no handle to it.
typedef struct SDL_Window SDL_Window;

typedef void (*SDL_AudioCallback)(void* userdata, Uint8* stream, int len);
struct SDL_AudioSpec {
  int freq;
  SDL_AudioFormat format;
  Uint8 channels;
  Uint8 silence;
  Uint16 samples;
  Uint16 padding;
  Uint32 size;
  SDL_AudioCallback callback;
  void* userdata;
};

enum SDL_MessageBoxFlags { SDL_MESSAGEBOX_ERROR = 0x10 };

extern "C" {
// Shows the report on the page and in the console; returns at once, as after OK.
int SDL_ShowSimpleMessageBox(Uint32 flags, const char* title, const char* message,
                             SDL_Window* window);

int SDL_InitSubSystem(Uint32 flags);
void SDL_QuitSubSystem(Uint32 flags);
SDL_AudioDeviceID SDL_OpenAudioDevice(const char* device, int iscapture,
                                      const SDL_AudioSpec* desired, SDL_AudioSpec* obtained,
                                      int allowed_changes);
void SDL_PauseAudioDevice(SDL_AudioDeviceID dev, int pause_on);
void SDL_CloseAudioDevice(SDL_AudioDeviceID dev);

// Signed 16-bit to float at one rate, one or two channels in, stereo out, bit for bit as
// SDL converts; a change of rate is not offered (the soundtrack is made at the mix rate).
typedef struct SDL_AudioStream SDL_AudioStream;
SDL_AudioStream* SDL_NewAudioStream(SDL_AudioFormat src_format, Uint8 src_channels, int src_rate,
                                    SDL_AudioFormat dst_format, Uint8 dst_channels, int dst_rate);
int SDL_AudioStreamPut(SDL_AudioStream* stream, const void* buf, int len);
int SDL_AudioStreamGet(SDL_AudioStream* stream, void* buf, int len);
int SDL_AudioStreamAvailable(SDL_AudioStream* stream);
int SDL_AudioStreamFlush(SDL_AudioStream* stream);
void SDL_FreeAudioStream(SDL_AudioStream* stream);
}

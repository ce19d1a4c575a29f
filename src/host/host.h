// What the shared code needs from the platform it runs on, and nothing more: a modal error
// box, a file opened for reading, an audio output that calls the mixer, and the one
// conversion of decoded PCM to the mix format. host_sdl.cpp serves the desktop (Linux and
// Windows) through SDL; the browser build serves the same calls from src/web/host_web.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace host {

// Shows `text` under `caption` in a modal error box with one OK button, standing on its own
// (no owner window), and returns once it is dismissed. Returns false, at once, when no box
// could be shown (no display, no fonts): the caller then reports some other way.
bool showErrorBox(const char* caption, const char* text);

// Opens `path` read-only, byte for byte as stored (no text-mode translation), without ever
// waiting: a FIFO with no writer opens at once. Returns the descriptor, to be read and
// closed with read() and close(), or -1 with errno set.
int openForReading(const char* path);

// True where the program has no console (a Windows GUI program, started by a
// double-click): what it writes to its streams reaches nobody there.
bool hasNoConsole();

// The one format of the audio output and of converted PCM: interleaved stereo float.
constexpr unsigned OUTPUT_RATE = 44100;
constexpr unsigned OUTPUT_CHANNELS = 2;
constexpr unsigned OUTPUT_BUFFER_FRAMES = 2048;

// Called on the audio output's own thread to fill `frames` frames of interleaved stereo
// float at 44100 Hz; `user` is the pointer given to AudioOutput::open.
using MixCallback = void (*)(void* user, float* interleavedStereo, unsigned frames);

// How long open() waits for the device: some sound servers never answer (SDL's PipeWire
// driver with no output, a server that accepts and stays silent), and the show must not
// wait on them for good.
constexpr unsigned OUTPUT_OPEN_LIMIT_SECONDS = 5;
// How long close() waits for the device to let go: a server that hangs keeps it forever.
constexpr unsigned OUTPUT_CLOSE_LIMIT_SECONDS = 2;

// The default audio output, at 44100 Hz, stereo, float, in 2048-frame buffers, exactly
// that format: the platform converts to whatever the hardware wants.
class AudioOutput {
 public:
  AudioOutput() = default;
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;
  ~AudioOutput() { close(); }

  // Opens the output and starts calling `mix`. Returns false, with a reason in `why` when
  // given, if there is none to open or it has not opened within OUTPUT_OPEN_LIMIT_SECONDS;
  // a device that opens after that is closed at once and never calls `mix`. Either way
  // close() gives back all that open took.
  bool open(MixCallback mix, void* user, std::string* why = nullptr);
  // Stops the output; waits for a running callback to return, so the caller must not hold
  // anything that callback takes. It waits OUTPUT_CLOSE_LIMIT_SECONDS at most: a device
  // held by a hung server is left to close on its own thread, and calls `mix` no more.
  void close();
  // True when `removedId`, the id of an audio device the platform reported removed, is
  // this output's device and it plays no more (its sound server died, it was unplugged).
  // The output then calls `mix` no more, or only at a pace of its own: close it.
  bool wentAway(uint32_t removedId) const;

 private:
  static void callback(void* self, uint8_t* stream, int len);

  MixCallback mix = nullptr;
  void* user = nullptr;
  uint32_t device = 0;     // the platform's device id, 0 when none is open
  bool subsystem = false;  // the platform's audio layer is started
};

// Converts interleaved signed 16-bit PCM (native byte order) at the source's rate and
// channel count into the mix format, interleaved stereo float at 44100 Hz, exactly as
// SDL 2's audio stream converts: a mono sample goes to both sides, a sample s becomes
// s / 32768, and a change of rate goes through SDL's resampler. Samples go in with put()
// and come out, in whole frames, with take().
class PcmToMix {
 public:
  PcmToMix() = default;
  PcmToMix(const PcmToMix&) = delete;
  PcmToMix& operator=(const PcmToMix&) = delete;
  ~PcmToMix();

  // False when this format cannot be converted here (the browser offers no change of rate
  // and one or two channels only).
  bool open(int channels, int rate);
  bool put(const int16_t* samples, size_t count);
  // Pushes out what the resampler still holds, after the last put().
  bool flush();
  // Converted floats waiting to be taken (whole frames).
  size_t available() const;
  // Moves up to `capacity` floats (a whole number of frames) into `out`. Returns how many,
  // or -1 on failure.
  long take(float* out, size_t capacity);

 private:
  void* stream = nullptr;  // the platform's converter
};

}  // namespace host

// The show's own small audio engine. It offers exactly the calls the show makes, with the
// names of the engine the show was designed against: init, load, looping, loop point,
// play, stream position and deinit (see music/soundtrack.h for the show's own objects).
//
// Everything is mixed at one fixed format, 44100 Hz interleaved stereo float. Sources are
// decoded whole and converted to that format once, at load time, so the mixer only copies
// and adds. The mixer runs on the audio device's callback thread (init) or wherever the
// caller drives it (initOffline + mix, for rendering the show to a file).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "host/host.h"

namespace SoLoud {

typedef unsigned int handle;
typedef unsigned int result;

enum SOLOUD_ERRORS {
  SO_NO_ERROR = 0,
  INVALID_PARAMETER = 1,
  FILE_NOT_FOUND = 2,
  FILE_LOAD_FAILED = 3,
  DLL_NOT_FOUND = 4,
  OUT_OF_MEMORY = 5,
  NOT_IMPLEMENTED = 6,
  UNKNOWN_ERROR = 7
};

// The one format the engine mixes in: the host's output format.
constexpr unsigned ENGINE_RATE = host::OUTPUT_RATE;
constexpr unsigned ENGINE_CHANNELS = host::OUTPUT_CHANNELS;
constexpr unsigned ENGINE_BUFFER_FRAMES = host::OUTPUT_BUFFER_FRAMES;

class Soloud;

class AudioSource {
 public:
  AudioSource() = default;
  AudioSource(const AudioSource&) = delete;
  AudioSource& operator=(const AudioSource&) = delete;
  virtual ~AudioSource();

  // Both take effect for voices started after the call.
  void setLooping(bool looping);
  void setLoopPoint(double seconds);

  // Decoded length in seconds (0 for an empty source).
  double getLength() const;
  // Decoded frames at the engine format (interleaved stereo float), for tools and tests.
  unsigned getFrameCount() const { return (unsigned)(samples.size() / ENGINE_CHANNELS); }
  const float* getSamples() const { return samples.data(); }

 protected:
  friend class Soloud;
  // Stops every voice that reads this source's samples, before they change or go away.
  void stopVoices();

  std::vector<float> samples;  // interleaved stereo at ENGINE_RATE
  bool looping = false;
  double loopPoint = 0.0;
  float volume = 1.0f;
  // The engine this source plays in (one at a time); it lets go of the source when
  // either of the two goes first.
  Soloud* engine = nullptr;
};

class Wav : public AudioSource {
 public:
  // Reads the whole file and decodes it into memory (Ogg Vorbis, any rate, one or two
  // channels); on failure the source stays empty and one line on stderr says why.
  result load(const char* path);
  // Same from a buffer in memory; `name` only labels the diagnostic.
  result loadMem(const unsigned char* data, size_t size, const char* name);
};

class Soloud {
 public:
  Soloud() = default;
  Soloud(const Soloud&) = delete;
  Soloud& operator=(const Soloud&) = delete;
  ~Soloud();

  // Opens the default audio device at 44100 Hz stereo with a 2048-frame buffer and starts
  // mixing on its thread. If no device opens, or none within a few seconds, one line on
  // stderr says so and a thread of the engine's own mixes into nothing at the device's
  // pace, so positions still advance in real time and loop as if heard.
  result init();
  // Same engine without a device: nothing is mixed until the caller calls mix().
  result initOffline();
  // The platform reported the audio device `deviceId` removed. If it is this engine's, the
  // music plays on from where it is, unheard, in real time, as without a device, and one
  // line on stderr says so; any other id is ignored. A device that asks for no sound for
  // 3 s (its server died without a word, or hangs) is given up the same way.
  void deviceRemoved(uint32_t deviceId);
  handle play(AudioSource& source, float volume = -1.0f, float pan = 0.0f, bool paused = false,
              unsigned int bus = 0);
  // Playing position of the voice within its source, in seconds; 0 for an invalid handle.
  double getStreamPosition(handle voice);
  void deinit();

  // Mixes the next `frames` frames of every live voice into `interleavedStereo`
  // (overwritten), advancing and looping the voices. The device callback calls exactly
  // this; offline users call it themselves. Never allocates.
  void mix(float* interleavedStereo, unsigned frames);

 private:
  friend class AudioSource;
  static constexpr unsigned MAX_VOICES = 16;

  struct Voice {
    const float* samples = nullptr;  // the source's interleaved stereo frames
    const AudioSource* source = nullptr;
    uint64_t frameCount = 0;
    uint64_t position = 0;   // next frame to mix
    uint64_t loopFrame = 0;  // where a looping voice goes on after its last frame
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
    bool looping = false;
    bool paused = false;
    bool active = false;
    unsigned playIndex = 0;  // distinguishes this voice from earlier ones in the same slot
  };

  // The audio output's callback: mix() on the engine `engine`.
  static void mixOutput(void* engine, float* interleavedStereo, unsigned frames);
  // Index of the live voice the handle names, or -1. Caller holds the lock.
  int findVoice(handle h) const;
  void stopSource(const AudioSource& source);
  // The keeper's thread: watches the device, and mixes into nothing at a device's pace
  // once the music plays unheard.
  void keep(const std::atomic<bool>* stop);
  // Stops the source's voices and forgets it: it is going away or moving to another engine.
  void release(AudioSource& source);

  std::mutex lock;
  Voice voices[MAX_VOICES];
  unsigned playCounter = 0;
  host::AudioOutput output;  // the device that calls mix(); closed offline
  struct Keeper;
  Keeper* keeper = nullptr;  // stands in for a device that would not open or went away
  // True once the music plays unheard (from init, or when the device went away): the
  // device's callback then plays silence and the keeper mixes.
  std::atomic<bool> unheard{false};
  std::atomic<int64_t> deviceAskedAt{0};  // when the device last asked for sound (steady clock)
  // Every source whose `engine` is this one, to be told when the engine goes first.
  std::vector<AudioSource*> sources;
};

}  // namespace SoLoud


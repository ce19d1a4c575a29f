// The show's own small audio engine. It offers exactly the calls the show makes, with the
// names of the engine the show was designed against: init, load, looping, loop point,
// play, stream position and deinit, on the globals `soloud` and `musicWav`.
#pragma once

namespace SoLoud {

typedef unsigned int handle;
typedef unsigned int result;

class AudioSource {
 public:
  void setLooping(bool looping);
  void setLoopPoint(double seconds);
  // (engine-private state is added by the engine implementation)
};

class Wav : public AudioSource {
 public:
  // Reads the whole file and decodes it into memory; on failure the source stays empty.
  result load(const char* path);
};

class Soloud {
 public:
  result init();
  handle play(AudioSource& source, float volume = -1.0f, float pan = 0.0f, bool paused = false,
              unsigned int bus = 0);
  // Playing position of the voice within its source, in seconds; 0 for an invalid handle.
  double getStreamPosition(handle voice);
  void deinit();
};

}  // namespace SoLoud

extern SoLoud::Soloud soloud;
extern SoLoud::Wav musicWav;

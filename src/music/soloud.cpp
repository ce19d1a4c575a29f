// The audio engine: a fixed table of voices over sources already in the mix format, and
// the mixer that the audio output's callback and offline renderers share.
#include "music/soloud.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

namespace SoLoud {

namespace {

// Handles carry the voice slot in the low bits and the play index above it, so a handle
// kept after its voice ended never names the voice that later reuses the slot.
constexpr unsigned HANDLE_SLOT_BITS = 12;
constexpr unsigned HANDLE_PLAY_MASK = 0xFFFFFu;

}  // namespace

// ---- AudioSource ----------------------------------------------------------------------

AudioSource::~AudioSource() {
  if (engine) engine->release(*this);
}

void AudioSource::setLooping(bool on) { looping = on; }

void AudioSource::setLoopPoint(double seconds) { loopPoint = seconds; }

double AudioSource::getLength() const { return (double)getFrameCount() / ENGINE_RATE; }

void AudioSource::stopVoices() {
  if (engine) engine->stopSource(*this);
}

// ---- Soloud -----------------------------------------------------------------------------

Soloud::~Soloud() {
  deinit();
  // Sources may outlive the engine; they must not call back into it when they go.
  for (AudioSource* source : sources) source->engine = nullptr;
}

// ---- the keeper: playing without a device, and watching the one there is ----------------

namespace {

using Clock = std::chrono::steady_clock;

// A device that has not asked for sound this long has stopped playing: its sound server
// died without a word (SDL's PipeWire driver reports no removal) or hangs.
constexpr auto DEVICE_SILENCE_LIMIT = std::chrono::seconds(3);

int64_t nowTicks() { return Clock::now().time_since_epoch().count(); }

void sayDeviceWentAway() {
  fprintf(stderr, "audio: the audio device went away: the show plays on without sound\n");
}

}  // namespace

struct Soloud::Keeper {
  std::atomic<bool> stop{false};
  std::thread thread;
};

// While the device plays, looks every 100 ms whether it still asks for sound. Once it
// plays unheard, mixes one device buffer whenever its time has come by the steady clock,
// and drops it: the position advances as if a device played the sound, so the show keeps
// its script. Due times count from the start, so a late wake-up delays one buffer and
// never adds up to drift. After a long stall (a suspended machine) it goes on from now
// instead of racing.
void Soloud::keep(const std::atomic<bool>* stop) {
  std::vector<float> buffer((size_t)ENGINE_BUFFER_FRAMES * ENGINE_CHANNELS);
  const auto framesTime = [](uint64_t frames) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>((double)frames / ENGINE_RATE));
  };
  Clock::time_point start, looked = Clock::now();
  uint64_t mixed = 0;
  bool pacing = false;
  while (!stop->load(std::memory_order_acquire)) {
    const Clock::time_point now = Clock::now();
    if (!unheard.load(std::memory_order_acquire)) {
      // The whole process stood still (stopped by the shell, held in a debugger): the
      // device had no chance to ask either, so it gets its full time again.
      if (now - looked > std::chrono::seconds(1)) deviceAskedAt.store(nowTicks());
      looked = now;
      if (now - Clock::time_point(Clock::duration(deviceAskedAt.load())) > DEVICE_SILENCE_LIMIT) {
        if (!unheard.exchange(true)) sayDeviceWentAway();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    if (!pacing) {
      pacing = true;
      start = now;
    }
    const Clock::time_point due = start + framesTime(mixed);
    if (now < due) {
      std::this_thread::sleep_until(due);
      continue;
    }
    if (now - due > std::chrono::seconds(1)) start = now - framesTime(mixed);
    mix(buffer.data(), ENGINE_BUFFER_FRAMES);
    mixed += ENGINE_BUFFER_FRAMES;
  }
}

result Soloud::init() {
  deinit();
  unheard.store(false);
  deviceAskedAt.store(nowTicks());
  // The platform's own noise (ALSA's complaints on a machine without a sound card) is kept
  // off the terminal by the output; its reason, if it fails, comes back in `why`.
  std::string why;
  if (output.open(mixOutput, this, &why)) {
    deviceAskedAt.store(nowTicks());  // the wait for the device to open is no silence of its
  } else {
    output.close();
    // No sound card, no sound server, one that never answers, or a driver that does not
    // exist: the music plays on, unheard, so the show does not stand still at music time 0.
    fprintf(stderr, "audio: no audio device (%s): the show plays without sound\n",
            why.empty() ? "none found" : why.c_str());
    unheard.store(true);
  }
  keeper = new Keeper;
  try {
    keeper->thread = std::thread(&Soloud::keep, this, &keeper->stop);
  } catch (const std::exception&) {
    // Without a thread a device still plays, unwatched; without one either, the engine
    // stays silent at position 0.
    delete keeper;
    keeper = nullptr;
    return unheard.load() ? UNKNOWN_ERROR : SO_NO_ERROR;
  }
  return SO_NO_ERROR;
}

void Soloud::deviceRemoved(uint32_t deviceId) {
  if (!keeper || !output.wentAway(deviceId)) return;
  // From now on the device's callback plays silence (SDL may go on calling it at a pace of
  // its own), and the keeper mixes from where the voices are. The device is closed with
  // the engine.
  if (!unheard.exchange(true)) sayDeviceWentAway();
}

result Soloud::initOffline() {
  deinit();
  return SO_NO_ERROR;
}

void Soloud::deinit() {
  // Closing waits for a running callback to return, so the lock must not be held here.
  output.close();
  if (keeper) {
    keeper->stop.store(true, std::memory_order_release);
    keeper->thread.join();
    delete keeper;
    keeper = nullptr;
  }
  std::lock_guard<std::mutex> guard(lock);
  for (Voice& v : voices) v = Voice();
}

handle Soloud::play(AudioSource& source, float volume, float pan, bool paused, unsigned int bus) {
  (void)bus;  // one bus: everything goes to the output
  if (volume < 0.0f) volume = source.volume;
  pan = std::min(1.0f, std::max(-1.0f, pan));
  if (source.engine != this) {
    // A source plays in one engine at a time: started here, it stops in the other.
    if (source.engine) source.engine->release(source);
    source.engine = this;
    sources.push_back(&source);
  }

  Voice v;
  v.samples = source.samples.data();
  v.source = &source;
  v.frameCount = source.getFrameCount();
  v.position = 0;
  double loopFrame = std::floor(source.loopPoint * ENGINE_RATE + 0.5);
  v.loopFrame = (loopFrame > 0.0 && loopFrame < (double)v.frameCount) ? (uint64_t)loopFrame : 0;
  // Centre is unity on both sides, so a centred voice plays its samples unchanged.
  v.gainLeft = volume * (pan > 0.0f ? 1.0f - pan : 1.0f);
  v.gainRight = volume * (pan < 0.0f ? 1.0f + pan : 1.0f);
  v.looping = source.looping;
  v.paused = paused;
  v.active = true;

  std::lock_guard<std::mutex> guard(lock);
  unsigned slot = 0;
  bool found = false;
  for (unsigned i = 0; i < MAX_VOICES && !found; ++i) {
    if (!voices[i].active) {
      slot = i;
      found = true;
    }
  }
  if (!found) {
    // All busy: the voice that started longest ago gives way.
    for (unsigned i = 1; i < MAX_VOICES; ++i) {
      if (playCounter - voices[i].playIndex > playCounter - voices[slot].playIndex) slot = i;
    }
  }
  playCounter = (playCounter + 1) & HANDLE_PLAY_MASK;
  if (playCounter == 0) playCounter = 1;
  v.playIndex = playCounter;
  voices[slot] = v;
  return (playCounter << HANDLE_SLOT_BITS) | (slot + 1);
}

int Soloud::findVoice(handle h) const {
  unsigned slot = (h & ((1u << HANDLE_SLOT_BITS) - 1)) - 1;
  if (slot >= MAX_VOICES) return -1;
  const Voice& v = voices[slot];
  if (!v.active || v.playIndex != (h >> HANDLE_SLOT_BITS)) return -1;
  return (int)slot;
}

double Soloud::getStreamPosition(handle h) {
  std::lock_guard<std::mutex> guard(lock);
  int i = findVoice(h);
  if (i < 0) return 0.0;
  return (double)voices[i].position / ENGINE_RATE;
}

void Soloud::stopSource(const AudioSource& source) {
  std::lock_guard<std::mutex> guard(lock);
  for (Voice& v : voices) {
    if (v.source == &source) v = Voice();
  }
}

void Soloud::release(AudioSource& source) {
  stopSource(source);
  sources.erase(std::remove(sources.begin(), sources.end(), &source), sources.end());
  source.engine = nullptr;
}

void Soloud::mixOutput(void* user, float* interleavedStereo, unsigned frames) {
  Soloud* engine = static_cast<Soloud*>(user);
  engine->deviceAskedAt.store(nowTicks(), std::memory_order_relaxed);
  if (engine->unheard.load(std::memory_order_acquire)) {
    memset(interleavedStereo, 0, (size_t)frames * ENGINE_CHANNELS * sizeof(float));
    return;
  }
  engine->mix(interleavedStereo, frames);
}

void Soloud::mix(float* out, unsigned frames) {
  std::lock_guard<std::mutex> guard(lock);
  memset(out, 0, (size_t)frames * ENGINE_CHANNELS * sizeof(float));
  bool mixedAny = false;
  for (Voice& v : voices) {
    if (!v.active || v.paused) continue;
    if (v.frameCount == 0) {
      // An empty source has nothing to play; a looping one just stays at 0.
      if (!v.looping) v = Voice();
      continue;
    }
    mixedAny = true;
    unsigned done = 0;
    while (done < frames) {
      uint64_t left = v.frameCount - v.position;
      unsigned n = (unsigned)std::min<uint64_t>(left, frames - done);
      const float* src = v.samples + v.position * ENGINE_CHANNELS;
      float* dst = out + (size_t)done * ENGINE_CHANNELS;
      for (unsigned i = 0; i < n; ++i) {
        dst[2 * i] += src[2 * i] * v.gainLeft;
        dst[2 * i + 1] += src[2 * i + 1] * v.gainRight;
      }
      v.position += n;
      done += n;
      // Wrap as soon as the last frame is out, so the position never reads the end.
      if (v.position == v.frameCount) {
        if (!v.looping) {
          v = Voice();
          break;
        }
        v.position = v.loopFrame;
      }
    }
  }
  if (!mixedAny) return;
  for (size_t i = 0, n = (size_t)frames * ENGINE_CHANNELS; i < n; ++i) {
    out[i] = std::min(1.0f, std::max(-1.0f, out[i]));
  }
}

}  // namespace SoLoud

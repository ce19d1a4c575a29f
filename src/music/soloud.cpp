// The audio engine: whole-file Ogg Vorbis decoding (libvorbisfile) converted once to the
// mix format (SDL_AudioStream), a fixed table of voices, and the mixer that SDL's audio
// callback and offline renderers share.
#include "music/soloud.h"

#include <SDL.h>
#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "st/read_file.h"

SoLoud::Soloud soloud;
SoLoud::Wav musicWav;

namespace SoLoud {

namespace {

// Handles carry the voice slot in the low bits and the play index above it, so a handle
// kept after its voice ended never names the voice that later reuses the slot.
constexpr unsigned HANDLE_SLOT_BITS = 12;
constexpr unsigned HANDLE_PLAY_MASK = 0xFFFFFu;

// Bounds on what a music file may make us hold: its size on disk, and its decoded length
// (15 minutes of mix-format audio is about 320 MB). A file that claims more is refused.
const size_t MAX_FILE_BYTES = 64u << 20;
const uint64_t MAX_SECONDS = 15 * 60;

void reportLoadFailure(const char* name, const char* reason) {
  fprintf(stderr, "audio: cannot load %s: %s\n", name, reason);
}

// libvorbisfile reads the file from memory through these.
struct MemoryFile {
  const unsigned char* data;
  size_t size;
  size_t pos;
};

size_t memRead(void* dst, size_t size, size_t count, void* user) {
  MemoryFile* f = static_cast<MemoryFile*>(user);
  if (size == 0) return 0;
  size_t want = size * count;
  size_t left = f->size - f->pos;
  size_t n = want < left ? want : left;
  memcpy(dst, f->data + f->pos, n);
  f->pos += n;
  return n / size;
}

int memSeek(void* user, ogg_int64_t offset, int whence) {
  MemoryFile* f = static_cast<MemoryFile*>(user);
  ogg_int64_t base = 0;
  if (whence == SEEK_CUR) base = (ogg_int64_t)f->pos;
  if (whence == SEEK_END) base = (ogg_int64_t)f->size;
  ogg_int64_t target = base + offset;
  if (target < 0 || target > (ogg_int64_t)f->size) return -1;
  f->pos = (size_t)target;
  return 0;
}

long memTell(void* user) { return (long)static_cast<MemoryFile*>(user)->pos; }

const char* openErrorText(int code) {
  switch (code) {
    case OV_EREAD:
      return "read error";
    case OV_ENOTVORBIS:
      return "not Ogg Vorbis data";
    case OV_EVERSION:
      return "unsupported Vorbis version";
    case OV_EBADHEADER:
      return "damaged Vorbis headers";
    default:
      return "cannot be decoded";
  }
}

// A stream that was cut short still decodes up to its last whole page, so truncation is
// found by the container instead: the last page of a whole stream carries the
// end-of-stream flag and ends exactly at the end of the file. A page is at most 65307
// bytes, so the tail of the file holds the last one.
bool endsWithEndOfStream(const unsigned char* data, size_t size) {
  const size_t tail = std::min<size_t>(size, 2 * 65536);
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, (long)tail);
  memcpy(buffer, data + size - tail, tail);
  ogg_sync_wrote(&sync, (long)tail);
  bool lastWasEnd = false;
  ogg_page page;
  long r;
  while ((r = ogg_sync_pageseek(&sync, &page)) != 0) {
    if (r > 0) lastWasEnd = ogg_page_eos(&page) != 0;
  }
  // Bytes left over are the start of a page that never finished.
  const bool partialPage = sync.fill > sync.returned;
  ogg_sync_clear(&sync);
  return lastWasEnd && !partialPage;
}

// Turns the decoder's 16-bit PCM into the mix format with SDL. At the mix rate that is a
// sample-by-sample conversion, so it runs chunk by chunk as the decoder delivers and the
// whole decode never exists twice. A file at another rate is gathered and resampled in one
// pass, with silence after its end to let the resampler finish, cut to the exact length.
struct Converter {
  SDL_AudioStream* stream = nullptr;
  int channels = 0;
  long rate = 0;
  uint64_t inFrames = 0;
  std::vector<int16_t> gathered;
  std::vector<float> chunk;
  std::vector<float>* out = nullptr;

  bool resampling() const { return rate != (long)ENGINE_RATE; }

  bool drain() {
    for (;;) {
      int available = SDL_AudioStreamAvailable(stream);
      if (available <= 0) return true;
      size_t want = std::min<size_t>((size_t)available, chunk.size() * sizeof(float));
      int got = SDL_AudioStreamGet(stream, chunk.data(), (int)want);
      if (got <= 0) return got == 0;
      out->insert(out->end(), chunk.begin(), chunk.begin() + got / (int)sizeof(float));
    }
  }

  bool put(const int16_t* pcm, size_t count) {
    inFrames += count / (size_t)channels;
    if (resampling()) {
      gathered.insert(gathered.end(), pcm, pcm + count);
      return true;
    }
    return SDL_AudioStreamPut(stream, pcm, (int)(count * sizeof(int16_t))) == 0 && drain();
  }

  bool finish() {
    if (resampling()) {
      gathered.resize(gathered.size() + (size_t)4096 * (size_t)channels, 0);
      if (SDL_AudioStreamPut(stream, gathered.data(), (int)(gathered.size() * sizeof(int16_t))) !=
          0) {
        return false;
      }
      gathered = std::vector<int16_t>();
    }
    if (SDL_AudioStreamFlush(stream) != 0 || !drain()) return false;
    const uint64_t outFrames = (inFrames * ENGINE_RATE + (uint64_t)rate / 2) / (uint64_t)rate;
    if (out->size() > outFrames * ENGINE_CHANNELS) out->resize((size_t)outFrames * ENGINE_CHANNELS);
    return true;
  }
};

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

// ---- Wav --------------------------------------------------------------------------------

result Wav::load(const char* path) {
  stopVoices();
  samples.clear();
  samples.shrink_to_fit();

  // Read whole, bounded, and only from a regular file: a FIFO, a directory or a huge
  // sparse file is refused like any other unreadable file.
  std::vector<unsigned char> bytes;
  std::string why;
  if (!st::readRegularFile(path, MAX_FILE_BYTES, bytes, why)) {
    reportLoadFailure(path, why.c_str());
    return why == strerror(ENOENT) ? FILE_NOT_FOUND : FILE_LOAD_FAILED;
  }
  return loadMem(bytes.data(), bytes.size(), path);
}

result Wav::loadMem(const unsigned char* data, size_t size, const char* name) {
  stopVoices();
  samples.clear();
  samples.shrink_to_fit();

  if (size == 0) {
    reportLoadFailure(name, "file is empty");
    return FILE_LOAD_FAILED;
  }

  MemoryFile file{data, size, 0};
  ov_callbacks callbacks{memRead, memSeek, nullptr, memTell};
  OggVorbis_File vf;
  int rc = ov_open_callbacks(&file, &vf, nullptr, 0, callbacks);
  if (rc < 0) {
    reportLoadFailure(name, openErrorText(rc));
    return FILE_LOAD_FAILED;
  }
  if (!endsWithEndOfStream(data, size)) {
    ov_clear(&vf);
    reportLoadFailure(name, "truncated (the stream has no end)");
    return FILE_LOAD_FAILED;
  }

  const vorbis_info* info = ov_info(&vf, -1);
  const int channels = info->channels;
  const long rate = info->rate;

  Converter convert;
  convert.stream = SDL_NewAudioStream(AUDIO_S16SYS, (Uint8)channels, (int)rate, AUDIO_F32SYS,
                                      (Uint8)ENGINE_CHANNELS, (int)ENGINE_RATE);
  if (!convert.stream) {
    ov_clear(&vf);
    reportLoadFailure(name, "unsupported channel count or rate");
    return FILE_LOAD_FAILED;
  }
  convert.channels = channels;
  convert.rate = rate;
  convert.chunk.resize(32768);
  convert.out = &samples;
  // The length the stream claims is only a hint for the reservation, never trusted.
  const uint64_t maxInFrames = MAX_SECONDS * (uint64_t)rate;
  ogg_int64_t total = ov_pcm_total(&vf, -1);
  if (total > 0 && (uint64_t)total <= maxInFrames) {
    samples.reserve(
        (size_t)(((uint64_t)total * ENGINE_RATE + (uint64_t)rate - 1) / (uint64_t)rate) *
        ENGINE_CHANNELS);
  }

  // Decoding to 16-bit PCM with vorbisfile's own rounding and clipping gives exactly the
  // samples of the reference decoder.
  const int bigEndian = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 1 : 0;
  std::vector<int16_t> pcm(16384);
  const char* failure = nullptr;
  int section = 0;
  // A damaged page is skipped, as the reference decoders do, but its time is kept: the
  // audio after a gap is held back until a page's granule position says where it
  // belongs, and the gap is filled with silence up to there, so the music clock never
  // runs early. Positions are vorbisfile's (ov_pcm_tell), in frames at the file's rate.
  bool afterGap = false;
  uint64_t gapAt = 0;  // where the audio before the gap ended
  std::vector<int16_t> pending;
  for (;;) {
    ogg_int64_t before = ov_pcm_tell(&vf);
    long n = ov_read(&vf, reinterpret_cast<char*>(pcm.data()), (int)(pcm.size() * 2), bigEndian, 2,
                     1, &section);
    if (n == 0) break;
    if (n == OV_HOLE) {
      if (!afterGap) gapAt = before > 0 ? (uint64_t)before : 0;
      afterGap = true;
      continue;
    }
    if (n < 0) {
      failure = "damaged data";
      break;
    }
    const vorbis_info* linkInfo = ov_info(&vf, section);
    if (linkInfo->channels != channels || linkInfo->rate != rate) {
      failure = "the format changes within the file";
      break;
    }
    const size_t count = (size_t)n / 2;
    if (afterGap) {
      pending.insert(pending.end(), pcm.data(), pcm.data() + count);
      // vorbisfile counts returned samples on from its last known position, and jumps to
      // the true one when it meets a granule position: the jump is the gap's length.
      ogg_int64_t after = ov_pcm_tell(&vf);
      if (after == before + (ogg_int64_t)(count / (size_t)channels)) {
        if (pending.size() / (size_t)channels < (size_t)rate * 10) continue;
      } else {
        const uint64_t heldFrames = pending.size() / (size_t)channels;
        const uint64_t resume = after > (ogg_int64_t)heldFrames ? (uint64_t)after - heldFrames : 0;
        if (resume > gapAt && resume - gapAt <= maxInFrames) {
          std::vector<int16_t> silence((size_t)(resume - gapAt) * (size_t)channels, 0);
          if (!convert.put(silence.data(), silence.size())) {
            failure = "format conversion failed";
            break;
          }
        }
      }
      afterGap = false;
      if (!convert.put(pending.data(), pending.size())) {
        failure = "format conversion failed";
        break;
      }
      pending.clear();
    } else if (!convert.put(pcm.data(), count)) {
      failure = "format conversion failed";
      break;
    }
    if (convert.inFrames > maxInFrames) {
      failure = "too long (more than 15 minutes)";
      break;
    }
  }
  if (!failure && !pending.empty() && !convert.put(pending.data(), pending.size())) {
    failure = "format conversion failed";
  }
  ov_clear(&vf);
  if (!failure && convert.inFrames == 0) failure = "no audio in the file";
  if (!failure && !convert.finish()) failure = "format conversion failed";
  SDL_FreeAudioStream(convert.stream);
  if (failure) {
    samples.clear();
    samples.shrink_to_fit();
    reportLoadFailure(name, failure);
    return FILE_LOAD_FAILED;
  }
  return SO_NO_ERROR;
}

// ---- Soloud -----------------------------------------------------------------------------

Soloud::~Soloud() {
  deinit();
  // Sources may outlive the engine; they must not call back into it when they go.
  for (AudioSource* source : sources) source->engine = nullptr;
}

// ---- playing without a device -----------------------------------------------------------

namespace {

// While SDL looks for a device, its back-ends (ALSA above all) write their own complaints
// to stderr: on a machine without a sound card that is a screenful of library noise for an
// ordinary case. Standard error goes to /dev/null meanwhile, and the engine says in one line
// of its own what the outcome means for the show. (A Windows program has no such console
// noise, and the browser never opens an SDL device.)
class QuietStderr {
 public:
  QuietStderr() {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    fflush(stderr);
    saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
#endif
  }
  ~QuietStderr() {
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    if (saved < 0) return;
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
#endif
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
 private:
  int saved = -1;
#endif
};

// Why no device opened, in SDL's words. The browser opens none (its page plays the sound)
// and its SDL slice keeps no error text.
const char* deviceError() {
#if defined(__EMSCRIPTEN__)
  return "";
#else
  return SDL_GetError();
#endif
}

// Mixes one device buffer whenever its time has come by the steady clock, and drops it:
// the position advances as if a device played the sound, so the show keeps its script.
// Due times count from the start, so a late wake-up delays one buffer and never adds up to
// drift. After a long stall (a suspended machine) it goes on from now instead of racing.
void playIntoNothing(Soloud* engine, const std::atomic<bool>* stop) {
  using Clock = std::chrono::steady_clock;
  std::vector<float> buffer((size_t)ENGINE_BUFFER_FRAMES * ENGINE_CHANNELS);
  const auto framesTime = [](uint64_t frames) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>((double)frames / ENGINE_RATE));
  };
  Clock::time_point start = Clock::now();
  uint64_t mixed = 0;
  while (!stop->load(std::memory_order_acquire)) {
    const Clock::time_point due = start + framesTime(mixed);
    const Clock::time_point now = Clock::now();
    if (now < due) {
      std::this_thread::sleep_until(due);
      continue;
    }
    if (now - due > std::chrono::seconds(1)) start = now - framesTime(mixed);
    engine->mix(buffer.data(), ENGINE_BUFFER_FRAMES);
    mixed += ENGINE_BUFFER_FRAMES;
  }
}

}  // namespace

struct Soloud::SilentOutput {
  std::atomic<bool> stop{false};
  std::thread thread;
};

result Soloud::init() {
  deinit();

  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = (int)ENGINE_RATE;
  want.format = AUDIO_F32SYS;
  want.channels = (Uint8)ENGINE_CHANNELS;
  want.samples = (Uint16)ENGINE_BUFFER_FRAMES;
  want.callback = deviceCallback;
  want.userdata = this;
  SDL_AudioSpec have;
  std::string why;
  {
    QuietStderr quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
      audioSubsystem = true;
      // No changes allowed: SDL converts to whatever the hardware wants, so the callback
      // always gets exactly the mix format.
      device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    }
    if (device == 0) why = deviceError();
  }
  if (device != 0) {
    SDL_PauseAudioDevice(device, 0);
    return SO_NO_ERROR;
  }

  // No sound card, no sound server, or a driver that does not exist: the music plays on,
  // unheard, so the show does not stand still at music time 0.
  fprintf(stderr, "audio: no audio device (%s): the show plays without sound\n",
          why.empty() ? "none found" : why.c_str());
  if (audioSubsystem) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioSubsystem = false;
  }
  silent = new SilentOutput;
  try {
    silent->thread = std::thread(playIntoNothing, this, &silent->stop);
  } catch (const std::exception&) {
    // Without a thread the engine stays as it was before: silent, at position 0.
    delete silent;
    silent = nullptr;
    return UNKNOWN_ERROR;
  }
  return SO_NO_ERROR;
}

result Soloud::initOffline() {
  deinit();
  return SO_NO_ERROR;
}

void Soloud::deinit() {
  // Closing waits for a running callback to return, so the lock must not be held here.
  if (device != 0) {
    SDL_CloseAudioDevice(device);
    device = 0;
  }
  if (silent) {
    silent->stop.store(true, std::memory_order_release);
    silent->thread.join();
    delete silent;
    silent = nullptr;
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    for (Voice& v : voices) v = Voice();
  }
  if (audioSubsystem) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioSubsystem = false;
  }
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

void Soloud::deviceCallback(void* userdata, Uint8* stream, int len) {
  const unsigned frameBytes = sizeof(float) * ENGINE_CHANNELS;
  static_cast<Soloud*>(userdata)->mix(reinterpret_cast<float*>(stream), (unsigned)len / frameBytes);
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

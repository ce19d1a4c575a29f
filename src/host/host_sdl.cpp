// The desktop's host services, Linux and Windows, through SDL 2 and the C library. Every
// difference between the two systems that the shared code meets is settled here.
#include "host/host.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace host {

namespace {

#ifdef _WIN32
// Windows sends a GUI program no SIGINT or SIGTERM to end it by: nothing to arrange.
struct BoxSignals {
  BoxSignals() {}
};
#else
// SDL turns SIGINT and SIGTERM into a quit event, but a box runs its own event loop and
// never looks at the queue: while one is open these two end the process at once, with the
// status the quit would have given. Signals the caller ignored stay ignored.
extern "C" void quitDuringBox(int) { _exit(0); }

struct BoxSignals {
  struct sigaction saved[2];
  bool replaced[2] = {false, false};
  static constexpr int SIGNALS[2] = {SIGINT, SIGTERM};

  BoxSignals() {
    struct sigaction quit;
    memset(&quit, 0, sizeof quit);
    quit.sa_handler = quitDuringBox;
    sigemptyset(&quit.sa_mask);
    for (int i = 0; i < 2; ++i) {
      if (sigaction(SIGNALS[i], nullptr, &saved[i]) != 0 || saved[i].sa_handler == SIG_IGN) continue;
      replaced[i] = sigaction(SIGNALS[i], &quit, nullptr) == 0;
    }
  }
  ~BoxSignals() {
    for (int i = 0; i < 2; ++i) {
      if (replaced[i]) sigaction(SIGNALS[i], &saved[i], nullptr);
    }
  }
};
#endif

#ifdef _WIN32
// Windows has no FIFOs to wait on; binary mode keeps every byte as it is on disk.
constexpr int OPEN_FLAGS = O_RDONLY | O_BINARY;
#else
// O_NONBLOCK: a FIFO opens at once instead of waiting for a writer, and is then refused.
constexpr int OPEN_FLAGS = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

}  // namespace

bool showErrorBox(const char* caption, const char* text) {
  BoxSignals whileOpen;
  return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) == 0;
}

int openForReading(const char* path) { return open(path, OPEN_FLAGS); }

bool hasNoConsole() {
#ifdef _WIN32
  return true;
#else
  return false;
#endif
}

// ---- AudioOutput ------------------------------------------------------------------------

namespace {

// While SDL looks for a device, its back-ends (ALSA above all) write their own complaints
// to stderr: on a machine without a sound card that is a screenful of library noise for an
// ordinary case. Standard error goes to /dev/null meanwhile; the caller says in its own
// words what the outcome means. (A Windows program has no such console noise.)
class QuietStderr {
 public:
  QuietStderr() {
#ifndef _WIN32
    fflush(stderr);
    saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
#endif
  }
  ~QuietStderr() {
#ifndef _WIN32
    if (saved < 0) return;
    fflush(stderr);
    dup2(saved, STDERR_FILENO);
    ::close(saved);
#endif
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved = -1;
};

}  // namespace

namespace {

// One open of the audio device, run on a thread of its own: a sound server that never
// answers keeps SDL_AudioInit or SDL_OpenAudioDevice from ever returning, and the caller
// waits for it a bounded time only. The record is shared by the two: whichever lets go
// last frees it.
struct Opening {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;       // the open came back, in time
  bool abandoned = false;  // the caller stopped waiting: the open is closed when it comes back
  uint32_t device = 0;
  std::string why;
  SDL_AudioSpec want;
};

// An open that has not come back still holds SDL's audio layer, which is one per process:
// no other open may start meanwhile.
std::atomic<bool> openPending{false};

// SDL's audio layer is started with SDL_AudioInit rather than SDL_InitSubSystem, so that
// SDL_Quit leaves it alone: it is ours to stop (close), and an open stuck inside it on this
// thread would crash if SDL_Quit tore the driver down under it.
void openDevice(const std::shared_ptr<Opening>& opening) {
  uint32_t device = 0;
  std::string why;
  bool started = SDL_AudioInit(nullptr) == 0;
  if (!started) {
    why = SDL_GetError();  // SDL keeps its error text per thread: read it here
  } else {
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to whatever the hardware wants, so the callback
    // always gets exactly the mix format.
    device = SDL_OpenAudioDevice(nullptr, 0, &opening->want, &have, 0);
    if (device == 0) why = SDL_GetError();
  }
  std::lock_guard<std::mutex> guard(opening->lock);
  if (opening->abandoned) {
    // Too late: the show already plays without it. A device opens paused, so this one
    // never called the mixer, and it goes before it does.
    if (device != 0) SDL_CloseAudioDevice(device);
    if (started) SDL_AudioQuit();
    openPending.store(false);
    return;
  }
  if (device == 0 && started) SDL_AudioQuit();
  opening->device = device;
  opening->why = why;
  opening->done = true;
  opening->finished.notify_one();
}

}  // namespace

bool AudioOutput::open(MixCallback mixInto, void* userdata, std::string* why) {
  close();
  mix = mixInto;
  user = userdata;
  if (openPending.load()) {
    if (why) *why = "an earlier open of the audio device has not come back";
    return false;
  }
  auto opening = std::make_shared<Opening>();
  SDL_zero(opening->want);
  opening->want.freq = (int)OUTPUT_RATE;
  opening->want.format = AUDIO_F32SYS;
  opening->want.channels = (Uint8)OUTPUT_CHANNELS;
  opening->want.samples = (Uint16)OUTPUT_BUFFER_FRAMES;
  opening->want.callback = callback;
  opening->want.userdata = this;

  QuietStderr quiet;  // only while this waits: a stuck open must not silence the program
#ifdef _WIN32
  // Windows' audio layer ties its COM objects to the thread that starts it, and no Windows
  // driver is known to hang: the open runs here.
  openDevice(opening);
#else
  try {
    std::thread(openDevice, opening).detach();
  } catch (const std::exception&) {
    openDevice(opening);  // no thread to spare: open here, unbounded, as before
  }
#endif
  std::unique_lock<std::mutex> guard(opening->lock);
  if (!opening->finished.wait_for(guard, std::chrono::seconds(OUTPUT_OPEN_LIMIT_SECONDS),
                                  [&] { return opening->done; })) {
    opening->abandoned = true;
    openPending.store(true);
    if (why) *why = "it did not open within " + std::to_string(OUTPUT_OPEN_LIMIT_SECONDS) + " s";
    return false;
  }
  if (opening->device == 0) {
    if (why) *why = opening->why;
    return false;
  }
  device = opening->device;
  subsystem = true;
  SDL_PauseAudioDevice(device, 0);
  return true;
}

void AudioOutput::close() {
  if (device != 0) {
    SDL_CloseAudioDevice(device);
    device = 0;
  }
  if (subsystem) {
    SDL_AudioQuit();
    subsystem = false;
  }
}

bool AudioOutput::wentAway(uint32_t removedId) const {
  // SDL stops an opened device that it has lost before it reports it removed.
  return device != 0 && removedId == device && SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED;
}

void AudioOutput::callback(void* self, uint8_t* stream, int len) {
  const AudioOutput* output = static_cast<const AudioOutput*>(self);
  const unsigned frameBytes = sizeof(float) * OUTPUT_CHANNELS;
  output->mix(output->user, reinterpret_cast<float*>(stream), (unsigned)len / frameBytes);
}

// ---- PcmToMix ---------------------------------------------------------------------------

namespace {
SDL_AudioStream* sdl(void* stream) { return static_cast<SDL_AudioStream*>(stream); }
}  // namespace

PcmToMix::~PcmToMix() { SDL_FreeAudioStream(sdl(stream)); }

bool PcmToMix::open(int channels, int rate) {
  SDL_AudioStream* opened = SDL_NewAudioStream(AUDIO_S16SYS, (Uint8)channels, rate, AUDIO_F32SYS,
                                               (Uint8)OUTPUT_CHANNELS, (int)OUTPUT_RATE);
  if (!opened) return false;
  SDL_FreeAudioStream(sdl(stream));
  stream = opened;
  return true;
}

bool PcmToMix::put(const int16_t* samples, size_t count) {
  return SDL_AudioStreamPut(sdl(stream), samples, (int)(count * sizeof(int16_t))) == 0;
}

bool PcmToMix::flush() { return SDL_AudioStreamFlush(sdl(stream)) == 0; }

size_t PcmToMix::available() const {
  int bytes = SDL_AudioStreamAvailable(sdl(stream));
  return bytes > 0 ? (size_t)bytes / sizeof(float) : 0;
}

long PcmToMix::take(float* out, size_t capacity) {
  int got = SDL_AudioStreamGet(sdl(stream), out, (int)(capacity * sizeof(float)));
  return got < 0 ? -1 : (long)got / (long)sizeof(float);
}

}  // namespace host

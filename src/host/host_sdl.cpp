// The desktop's host services, Linux and Windows, through SDL 2 and the C library. Every
// difference between the two systems that the shared code meets is settled here.
#include "host/host.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <pthread.h>
#include <sys/prctl.h>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace host {

namespace {

#ifdef _WIN32
// Windows sends a GUI program no SIGINT or SIGTERM to end it by, and its boxes belong to
// the process itself: nothing to arrange.
struct BoxSignals {
  BoxSignals() {}
};
#else
// SDL turns SIGINT and SIGTERM into a quit event (and the show a SIGHUP), but a box runs
// its own event loop and never looks at the queue: while one is open these end the process
// at once, with the status the quit would have given. Signals the caller ignored stay ignored.
extern "C" void quitDuringBox(int) { _exit(0); }

struct BoxSignals {
  static constexpr int COUNT = 3;
  static constexpr int SIGNALS[COUNT] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction saved[COUNT];
  bool replaced[COUNT] = {false, false, false};

  BoxSignals() {
    struct sigaction quit;
    memset(&quit, 0, sizeof quit);
    quit.sa_handler = quitDuringBox;
    sigemptyset(&quit.sa_mask);
    for (int i = 0; i < COUNT; ++i) {
      if (sigaction(SIGNALS[i], nullptr, &saved[i]) != 0 || saved[i].sa_handler == SIG_IGN) continue;
      replaced[i] = sigaction(SIGNALS[i], &quit, nullptr) == 0;
    }
  }
  ~BoxSignals() {
    for (int i = 0; i < COUNT; ++i) {
      if (replaced[i]) sigaction(SIGNALS[i], &saved[i], nullptr);
    }
  }
};
#endif

#ifdef __linux__
// SDL draws an X11 box in a forked child, which holds a copy of the show's X connection.
// Were the show to end while the box is up (a signal, a kill), that child would live on,
// ownerless, and keep both the box and the show's window on screen. So a child forked
// while a box opens is bound to die with the process that forked it. Only async-signal-safe
// calls here: the child of a threaded process may call nothing else.
volatile sig_atomic_t boxOpening = 0;
volatile pid_t boxParent = 0;

extern "C" void bindBoxChild() {
  if (!boxOpening) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The parent may have gone between the fork and the line above.
  if (getppid() != boxParent) _exit(0);
}

struct BoxChild {
  BoxChild() {
    static bool registered = pthread_atfork(nullptr, nullptr, bindBoxChild) == 0;
    (void)registered;
    boxParent = getpid();
    boxOpening = 1;
  }
  ~BoxChild() { boxOpening = 0; }
};
#else
// Elsewhere the box is drawn by the process itself and ends with it.
struct BoxChild {
  BoxChild() {}
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
  BoxChild endsWithUs;
  if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) == 0) return true;
#ifdef _WIN32
  // SDL 2.32 looks for its box among the video drivers that SDL_VIDEODRIVER names, so a
  // start-up that failed for that variable would show nothing; Windows' own box needs none.
  return MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR) != 0;
#else
  return false;
#endif
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

// SDL's audio layer is one per process, and a sound server that never answers (SDL's
// PipeWire driver with no output, a server that takes the connection and stays silent, one
// that hangs) can keep a call into it from ever returning. Such calls run on a thread of
// their own while the caller waits a bounded time; a call that has not come back by then
// is left to finish there, and while it has not, no other may start.
std::atomic<bool> callPending{false};

struct BoundedCall {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;       // the call came back in time
  bool abandoned = false;  // the caller stopped waiting
};

// Runs `call` and waits up to `limit` for it. Returns false if it has not come back by
// then: `late` then runs on the call's thread once it does, instead of the caller's code.
bool runBounded(std::chrono::seconds limit, std::function<void()> call, std::function<void()> late) {
  auto state = std::make_shared<BoundedCall>();
  auto run = [state, call, late] {
    call();
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->abandoned) {
      late();
      callPending.store(false);
      return;
    }
    state->done = true;
    state->finished.notify_one();
  };
#ifdef _WIN32
  // Windows' audio layer ties its COM objects to the thread that starts it, and no Windows
  // driver is known to hang: the call runs here.
  (void)limit;
  run();
#else
  try {
    std::thread(run).detach();
  } catch (const std::exception&) {
    run();  // no thread to spare: the call runs here, unbounded, as it always did
  }
#endif
  std::unique_lock<std::mutex> guard(state->lock);
  if (state->finished.wait_for(guard, limit, [&] { return state->done; })) return true;
  state->abandoned = true;
  callPending.store(true);
  return false;
}

}  // namespace

bool AudioOutput::open(MixCallback mixInto, void* userdata, std::string* why) {
  close();
  mix = mixInto;
  user = userdata;
  if (callPending.load()) {
    if (why) *why = "an earlier call into the audio layer has not come back";
    return false;
  }
  struct Result {
    SDL_AudioSpec want;
    uint32_t device = 0;
    std::string why;
  };
  auto result = std::make_shared<Result>();
  SDL_zero(result->want);
  result->want.freq = (int)OUTPUT_RATE;
  result->want.format = AUDIO_F32SYS;
  result->want.channels = (Uint8)OUTPUT_CHANNELS;
  result->want.samples = (Uint16)OUTPUT_BUFFER_FRAMES;
  result->want.callback = callback;
  result->want.userdata = this;

  // SDL's audio layer is started with SDL_AudioInit rather than SDL_InitSubSystem, so that
  // SDL_Quit leaves it alone: it is ours to stop (close), and an open stuck inside it would
  // crash if SDL_Quit tore the driver down under it.
  const auto openDevice = [result] {
    if (SDL_AudioInit(nullptr) != 0) {
      result->why = SDL_GetError();  // SDL keeps its error text per thread: read it here
      return;
    }
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to whatever the hardware wants, so the callback
    // always gets exactly the mix format.
    result->device = SDL_OpenAudioDevice(nullptr, 0, &result->want, &have, 0);
    if (result->device == 0) {
      result->why = SDL_GetError();
      SDL_AudioQuit();
    }
  };
  // Too late: the show already plays without it. A device opens paused, so this one never
  // called the mixer, and it goes before it does.
  const auto closeLateDevice = [result] {
    if (result->device == 0) return;
    SDL_CloseAudioDevice(result->device);
    SDL_AudioQuit();
  };
  bool inTime;
  {
    QuietStderr quiet;  // only while this waits: a stuck open must not silence the program
    inTime = runBounded(std::chrono::seconds(OUTPUT_OPEN_LIMIT_SECONDS), openDevice, closeLateDevice);
  }
  if (!inTime) {
    if (why) *why = "it did not open within " + std::to_string(OUTPUT_OPEN_LIMIT_SECONDS) + " s";
    return false;
  }
  if (result->device == 0) {
    if (why) *why = result->why;
    return false;
  }
  device = result->device;
  subsystem = true;
  SDL_PauseAudioDevice(device, 0);
  return true;
}

void AudioOutput::close() {
  if (device == 0 && !subsystem) return;
  const uint32_t closing = device;
  const bool quit = subsystem;
  device = 0;
  subsystem = false;
  // A device whose server hangs may never let its thread go: the show does not wait on it
  // past OUTPUT_CLOSE_LIMIT_SECONDS. That thread, once free, sees the device closed and
  // calls the mixer no more.
  runBounded(
      std::chrono::seconds(OUTPUT_CLOSE_LIMIT_SECONDS),
      [closing, quit] {
        if (closing != 0) SDL_CloseAudioDevice(closing);
        if (quit) SDL_AudioQuit();
      },
      [] {});
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

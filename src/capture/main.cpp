// zoov2020-capture: renders the show frame by frame at an exact frame rate, with the music
// mixed offline by the show's own engine, and encodes both with ffmpeg. This is its main
// loop (the GL context, the show's set-up, the frames, progress); the files beside it hold
// the parts that know nothing of the show.
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/encoder.h"
#include "capture/options.h"
#include "capture/signals.h"
#include "capture/trace.h"
#include "capture/virtual_display.h"
#include "fx/sprites.h"
#include "music/soundtrack.h"
#include "show/show.h"
#include "show/viewport.h"
#include "st/gl.h"
#include "st/gl_version.h"
#include "st/read_file.h"
#include "st/report.h"
#include "st/st_shader.h"

namespace {

// Reports of the toolkit (GL errors, shader logs, unknown uniforms) go to standard error,
// each caption once: nobody is there to dismiss a box. A shader program that does not
// link cannot be drawn with, so the capture ends there.
std::vector<std::string> reportsSeen;
int reportsRepeated = 0;

void reportToStderr(const char* text, const char* caption) {
  if (std::find(reportsSeen.begin(), reportsSeen.end(), caption) != reportsSeen.end()) {
    ++reportsRepeated;
    return;
  }
  reportsSeen.push_back(caption);
  st::writeReport(stderr, text, caption);
  if (strcmp(caption, "Shader link failed") == 0) {
    fprintf(stderr, "zoov2020-capture: a shader program cannot be built (its log is above); "
                    "nothing was rendered\n");
    stopVirtualDisplay();
    exit(1);
  }
}

// A shader file that cannot be read would only show up as a failed link: name it.
bool shaderFilesReadable() {
  bool ok = true;
  for (const char* path : sceneShaderFiles) {
    std::vector<unsigned char> bytes;
    std::string why;
    if (!st::readRegularFile(path, st::MAX_SOURCE_BYTES, bytes, why)) {
      fprintf(stderr, "zoov2020-capture: cannot read the shader %s: %s\n", path, why.c_str());
      ok = false;
    }
  }
  return ok;
}

// A hidden window only for the context; frames go to a framebuffer of the video's size.
bool openContext() {
  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    fprintf(stderr, "zoov2020-capture: video initialization failed: %s\n", SDL_GetError());
    return false;
  }
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_Window* window = SDL_CreateWindow("zoov2020-capture", SDL_WINDOWPOS_UNDEFINED,
                                        SDL_WINDOWPOS_UNDEFINED,
                                        64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window || !SDL_GL_CreateContext(window)) {
    fprintf(stderr, "zoov2020-capture: no OpenGL context: %s\n", SDL_GetError());
    return false;
  }
  // Checked before anything is set up: a context too old fails here, in words, rather
  // than on the first missing function.
  if (gladLoaderLoadGL() < GLAD_MAKE_VERSION(st::NEEDED_GL_MAJOR, st::NEEDED_GL_MINOR)) {
    fprintf(stderr, "zoov2020-capture: OpenGL %d.%d is not available\n%s\n", st::NEEDED_GL_MAJOR,
            st::NEEDED_GL_MINOR, st::describeGlShortfall().c_str());
    return false;
  }
  return true;
}

struct OutputTarget {
  GLuint fbo = 0;
  GLuint colour = 0;
};

OutputTarget makeOutputTarget(int width, int height) {
  OutputTarget t;
  glGenRenderbuffers(1, &t.colour);
  glBindRenderbuffer(GL_RENDERBUFFER, t.colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glGenFramebuffers(1, &t.fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, t.fbo);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, t.colour);
  // The show never clears the window: the letterbox bars stay black from here on.
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  return t;
}

std::string clockText(double seconds) {
  int s = (int)(seconds + 0.5);
  char text[32];
  snprintf(text, sizeof text, "%d:%02d", s / 60, s % 60);
  return text;
}

void showProgress(int64_t done, int64_t total, double elapsed, bool tty, double& lastPrint) {
  double fps = elapsed > 0 ? done / elapsed : 0;
  double left = fps > 0 ? (total - done) / fps : 0;
  if (tty) {
    const int width = 30;
    int filled = (int)(width * done / total);
    std::string bar(filled, '#');
    bar.append(width - filled, '-');
    fprintf(stderr, "\r[%s] %lld/%lld frames  %.1f fps  %s left ", bar.c_str(), (long long)done,
            (long long)total, fps, clockText(left).c_str());
    if (done == total) fprintf(stderr, "\n");
  } else if (done == total || elapsed - lastPrint >= 10.0) {
    fprintf(stderr, "zoov2020-capture: %lld/%lld frames, %.1f fps, %s left\n", (long long)done,
            (long long)total, fps, clockText(left).c_str());
    lastPrint = elapsed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CaptureOptions options;
  std::string error;
  if (!parseCaptureOptions(argc, argv, options, error)) {
    fprintf(stderr, "zoov2020-capture: %s\n%s\n", error.c_str(), captureUsage);
    return 2;
  }
  if (options.help) {
    printf("%s\n\n", captureUsage);
    fputs(captureHelp, stdout);
    return 0;
  }
  // Everything that would only fail after the work is checked before it.
  if (!checkOutputs(options, error)) {
    fprintf(stderr, "zoov2020-capture: %s\n", error.c_str());
    return 1;
  }
  catchStopSignals();
  signal(SIGPIPE, SIG_IGN);  // a dead encoder shows up as a failed write
  if (!ensureDisplay(stopSignal)) {
    if (stopSignal) endBySignal();
    return 1;
  }
  atexit(stopVirtualDisplay);

  if (!openContext()) return 1;
  OutputTarget output = makeOutputTarget(options.width, options.height);
  applyLetterbox(options.width, options.height);

  st::setReportSink(reportToStderr);
  if (!shaderFilesReadable()) {
    fprintf(stderr, "zoov2020-capture: the show's shaders are needed; nothing was rendered\n");
    return 1;
  }
  // Static, as in the show: the engine is shut down by the process exit on every path.
  static Show show;
  static Soundtrack music;
  setupScene(show);
  music.soloud.initOffline();
  startMusic(music);
  auto frameAt = [&](int32_t tick) -> FrameInput {
    return {tick, musicTime(music)};
  };
  if (stopSignal) endBySignal();

  TraceFile trace;
  if (!options.trace.empty() && !trace.open(options.trace, error)) {
    fprintf(stderr, "zoov2020-capture: %s\n", error.c_str());
    return 1;
  }

  Encoder encoder;
  if (!startEncoder(options, encoder, error, noteEncoder)) {
    trace.close(false, error);
    fprintf(stderr, "zoov2020-capture: %s\n", error.c_str());
    return 1;
  }

  const int64_t first = firstFrame(options.from, options.fps);
  const int64_t end = firstFrame(options.to, options.fps);
  const int64_t total = end - first;
  const size_t frameBytes = (size_t)options.width * options.height * 4;
  std::vector<float> audio;

  // The music before the first frame is mixed and dropped, so that it starts in place.
  int64_t mixed = 0;
  audio.resize(2 * 4096);
  auto skipMusicTo = [&](int64_t samples) {
    while (mixed < samples) {
      unsigned chunk = (unsigned)std::min<int64_t>(4096, samples - mixed);
      music.soloud.mix(audio.data(), chunk);
      mixed += chunk;
    }
  };
  // The sprites and the emission flag carry state from frame to frame, so a late start
  // first runs that state through every earlier frame, unseen, exactly as a capture from
  // 0 would. Particles are moved only over the last stretch before the first drawn frame:
  // any spawned earlier is dead by then (one frame of at most a second, plus the longest
  // life, plus a margin).
  if (first > 1) {
    if (options.from >= 600.0)
      fprintf(stderr, "zoov2020-capture: running the show unseen up to %.0f s first\n", options.from);
    const int64_t lastUnseen = frameTick(first - 1, options.fps);
    const int64_t memoryMs = 1000 + (int64_t)(SPRITE_MAX_LIFE_STEPS + 1) * SPRITE_STEP_MS + 1000;
    for (int64_t n = 0; n + 1 < first && !stopSignal; ++n) {
      skipMusicTo(frameAudioSamples(n, options.fps));
      int32_t tick = frameTick(n, options.fps);
      advanceUnseenFrame(show, tick, musicTime(music), lastUnseen - tick <= memoryMs);
    }
  }
  // A frame's blur reads the small mip levels that the previous frame's compose left in
  // the scene target, so a late start then draws, unseen, the frame before it.
  if (first > 0 && !stopSignal) {
    skipMusicTo(frameAudioSamples(first - 1, options.fps));
    drawFrame(show, frameAt(frameTick(first - 1, options.fps)));
  }
  skipMusicTo(frameAudioSamples(first, options.fps));

  // Where the time goes, for bench/capture_fps.sh: drawing, reading back, and waiting
  // for ffmpeg to take a frame (zero while the encoder keeps up).
  Uint64 renderTime = 0, readbackTime = 0, encodeWait = 0;
  const bool tty = isatty(2);
  const Uint64 started = SDL_GetPerformanceCounter();
  double lastPrint = 0;
  bool ok = !stopSignal;
  for (int64_t n = first; n < end && ok && !stopSignal; ++n) {
    int32_t tick = frameTick(n, options.fps);
    Uint64 t0 = SDL_GetPerformanceCounter();
    drawFrame(show, frameAt(tick));
    glFinish();  // so that the drawing is counted as render, not as readback
    Uint64 t1 = SDL_GetPerformanceCounter();
    if (trace.isOpen() &&
        !trace.write(n, tick, musicTime(music), show.lineBuffer->vertexCount / 8,
                     show.spriteBuffer->instanceCount, error)) {
      ok = false;
      break;
    }
    std::vector<unsigned char> pixels(frameBytes);
    glReadPixels(0, 0, options.width, options.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    Uint64 t2 = SDL_GetPerformanceCounter();
    ok = encoder.video.push(std::move(pixels));
    if (ok) ++encoder.framesSent;
    Uint64 t3 = SDL_GetPerformanceCounter();
    renderTime += t1 - t0;
    readbackTime += t2 - t1;
    encodeWait += t3 - t2;

    // This frame's share of the soundtrack: what plays until the next frame starts.
    int64_t next = frameAudioSamples(n + 1, options.fps);
    unsigned count = (unsigned)(next - mixed);
    audio.resize(2 * (size_t)count);
    music.soloud.mix(audio.data(), count);
    mixed = next;
    if (ok && encoder.hasAudio) {
      const unsigned char* bytes = reinterpret_cast<const unsigned char*>(audio.data());
      ok = encoder.audio.push(std::vector<unsigned char>(bytes, bytes + audio.size() * sizeof(float)));
    }

    double elapsed = (double)(SDL_GetPerformanceCounter() - started) / SDL_GetPerformanceFrequency();
    showProgress(n - first + 1, total, elapsed, tty, lastPrint);
  }
  const Uint64 loopTime = SDL_GetPerformanceCounter() - started;
  if (stopSignal) ok = false;
  if (!ok && error.empty()) error = "the encoder stopped reading (see ffmpeg's message above)";
  ok = trace.close(ok, error);
  const bool finished = finishEncoder(encoder, ok, error);
  forgetEncoder();  // reaped: its pid may be reused
  if (!finished) {
    if (stopSignal) {
      fprintf(stderr, "zoov2020-capture: nothing was written to %s\n", encoder.finalPath.c_str());
      endBySignal();
    }
    fprintf(stderr, "zoov2020-capture: %s; nothing was written to %s\n", error.c_str(),
            encoder.finalPath.c_str());
    return 1;
  }
  // The encoder's CPU time is its real cost where the rasteriser runs on the same cores
  // (llvmpipe): it is taken from drawing even while ffmpeg keeps up and nobody waits.
  const double msPerFrame = 1000.0 / SDL_GetPerformanceFrequency() / (double)total;
  fprintf(stderr,
          "zoov2020-capture: render %.1f ms/frame, readback %.1f, encode wait %.1f, "
          "loop %.1f; encoder cpu %.1f ms/frame\n",
          renderTime * msPerFrame, readbackTime * msPerFrame, encodeWait * msPerFrame,
          loopTime * msPerFrame, 1000.0 * encoder.cpuSeconds / (double)total);
  glDeleteFramebuffers(1, &output.fbo);
  glDeleteRenderbuffers(1, &output.colour);
  fprintf(stderr, "zoov2020-capture: wrote %s (%lld frames at %d fps, %dx%d)\n",
          encoder.finalPath.c_str(), (long long)total, options.fps, options.width,
          options.height);
  music.soloud.deinit();
  return 0;
}

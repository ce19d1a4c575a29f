// The browser's host services: a report goes to the page, files come from the page's
// in-memory file system, the page's Web Audio graph mixes the sound through the engine's
// own mix() (see page.js) so no output ever opens here, and PCM is converted in place.
#include "host/host.h"

#include <emscripten.h>
#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace host {

bool showErrorBox(const char* caption, const char* text) {
  // zoovReport (page.js) lists it on the page and logs it as an error; it returns at
  // once, as after OK.
  EM_ASM({ zoovReport(UTF8ToString($0), UTF8ToString($1)); }, caption ? caption : "",
         text ? text : "");
  return true;
}

int openForReading(const char* path) { return open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

// The page shows every report itself (see showErrorBox).
bool hasNoConsole() { return false; }

// ---- AudioOutput ------------------------------------------------------------------------

bool AudioOutput::open(MixCallback, void*, std::string* why) {
  EM_ASM({ console.warn("zoov2020: the page's Web Audio graph mixes the sound, not an SDL device"); });
  if (why) *why = "the page's Web Audio graph mixes the sound";
  return false;
}

void AudioOutput::close() {}

bool AudioOutput::wentAway(uint32_t) const { return false; }

// ---- PcmToMix ---------------------------------------------------------------------------

namespace {
struct Converter {
  int channels;
  std::vector<float> queued;
  size_t readPos = 0;
};
Converter* converter(void* stream) { return static_cast<Converter*>(stream); }
}  // namespace

PcmToMix::~PcmToMix() { delete converter(stream); }

bool PcmToMix::open(int channels, int rate) {
  if (rate != (int)OUTPUT_RATE || (channels != 1 && channels != 2)) return false;
  delete converter(stream);
  Converter* c = new Converter;
  c->channels = channels;
  stream = c;
  return true;
}

bool PcmToMix::put(const int16_t* samples, size_t count) {
  Converter* c = converter(stream);
  // SDL scales by exactly 1/32768 (a power of two, so no rounding), and a mono sample
  // goes to both sides unchanged.
  const float scale = 0.000030517578125f;
  for (size_t i = 0; i < count; ++i) {
    float v = (float)samples[i] * scale;
    c->queued.push_back(v);
    if (c->channels == 1) c->queued.push_back(v);
  }
  return true;
}

bool PcmToMix::flush() { return true; }

size_t PcmToMix::available() const {
  const Converter* c = converter(stream);
  return c->queued.size() - c->readPos;
}

long PcmToMix::take(float* out, size_t capacity) {
  Converter* c = converter(stream);
  size_t n = std::min(capacity, c->queued.size() - c->readPos);
  std::memcpy(out, c->queued.data() + c->readPos, n * sizeof(float));
  c->readPos += n;
  if (c->readPos == c->queued.size()) {
    c->queued.clear();
    c->readPos = 0;
  }
  return (long)n;
}

}  // namespace host

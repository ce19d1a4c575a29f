// Loading music: a whole Ogg Vorbis file (libvorbisfile) decoded into memory and converted
// once to the engine's mix format with the host's converter, so the mixer only copies.
#include "music/soloud.h"

#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/host.h"
#include "st/read_file.h"

namespace SoLoud {

namespace {

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

// Turns the decoder's 16-bit PCM into the mix format with the host's converter. At the mix
// rate that is a sample-by-sample conversion, so it runs chunk by chunk as the decoder
// delivers and the whole decode never exists twice. A file at another rate is gathered and
// resampled in one pass, with silence after its end to let the resampler finish, cut to the
// exact length.
struct Converter {
  host::PcmToMix stream;
  int channels = 0;
  long rate = 0;
  uint64_t inFrames = 0;
  std::vector<int16_t> gathered;
  std::vector<float> chunk;
  std::vector<float>* out = nullptr;

  bool resampling() const { return rate != (long)ENGINE_RATE; }

  bool drain() {
    for (;;) {
      size_t available = stream.available();
      if (available == 0) return true;
      long got = stream.take(chunk.data(), std::min(available, chunk.size()));
      if (got <= 0) return got == 0;
      out->insert(out->end(), chunk.begin(), chunk.begin() + got);
    }
  }

  bool put(const int16_t* pcm, size_t count) {
    inFrames += count / (size_t)channels;
    if (resampling()) {
      gathered.insert(gathered.end(), pcm, pcm + count);
      return true;
    }
    return stream.put(pcm, count) && drain();
  }

  bool finish() {
    if (resampling()) {
      gathered.resize(gathered.size() + (size_t)4096 * (size_t)channels, 0);
      if (!stream.put(gathered.data(), gathered.size())) return false;
      gathered = std::vector<int16_t>();
    }
    if (!stream.flush() || !drain()) return false;
    const uint64_t outFrames = (inFrames * ENGINE_RATE + (uint64_t)rate / 2) / (uint64_t)rate;
    if (out->size() > outFrames * ENGINE_CHANNELS) out->resize((size_t)outFrames * ENGINE_CHANNELS);
    return true;
  }
};

}  // namespace

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
  if (!convert.stream.open(channels, (int)rate)) {
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
  const int bigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 1 : 0;
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
  if (failure) {
    samples.clear();
    samples.shrink_to_fit();
    reportLoadFailure(name, failure);
    return FILE_LOAD_FAILED;
  }
  return SO_NO_ERROR;
}

}  // namespace SoLoud

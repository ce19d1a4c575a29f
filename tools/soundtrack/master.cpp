// Mastering and delivery: the loudness and true-peak measures, the bus glue and limiter,
// the file's layout (the first pass, then the loop's second), the Vorbis encoder and a
// float WAV writer for the stems.
#include "master.h"

#include <SDL.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "../loudness.h"
#include "dsp.h"

namespace soundtrack {

// Integrated loudness (ITU-R BS.1770: K-weighting, 400 ms blocks, both gates) in LUFS.
double integratedLoudness(const float* lr, size_t frames) {
  // 100 ms hops: blocks of four hops overlap by 75 %
  std::vector<double> hopEnergy = loudness::kWeightedHops(lr, frames, RATE / 10);
  std::vector<double> blocks;
  for (size_t h = 3; h < hopEnergy.size(); ++h) {
    blocks.push_back((hopEnergy[h] + hopEnergy[h - 1] + hopEnergy[h - 2] + hopEnergy[h - 3]) / 4.0);
  }
  auto lufs = [](double e) { return -0.691 + 10.0 * std::log10(std::max(e, 1e-20)); };
  double sum = 0.0;
  size_t n = 0;
  for (double e : blocks) {
    if (lufs(e) > -70.0) {
      sum += e;
      ++n;
    }
  }
  if (n == 0) return -70.0;
  double relative = lufs(sum / n) - 10.0;
  sum = 0.0;
  n = 0;
  for (double e : blocks) {
    if (lufs(e) > -70.0 && lufs(e) > relative) {
      sum += e;
      ++n;
    }
  }
  return n ? lufs(sum / n) : -70.0;
}

// True peak in dBTP: the largest magnitude after four-times oversampling (SDL's resampler).
double truePeak(const float* lr, size_t frames) {
  SDL_AudioStream* up = SDL_NewAudioStream(AUDIO_F32SYS, 2, RATE, AUDIO_F32SYS, 2, RATE * 4);
  if (!up) return 0.0;
  float peak = 0.0f;
  std::vector<float> outBuf(65536);
  auto drain = [&]() {
    int got;
    while ((got = SDL_AudioStreamGet(up, outBuf.data(), (int)(outBuf.size() * sizeof(float)))) >
           0) {
      for (int k = 0; k < got / (int)sizeof(float); ++k)
        peak = std::max(peak, std::fabs(outBuf[k]));
    }
  };
  const size_t chunk = 8192;
  for (size_t i = 0; i < frames; i += chunk) {
    size_t n = std::min(chunk, frames - i);
    SDL_AudioStreamPut(up, lr + 2 * i, (int)(n * 2 * sizeof(float)));
    drain();
  }
  SDL_AudioStreamFlush(up);
  drain();
  SDL_FreeAudioStream(up);
  for (size_t i = 0; i < frames * 2; ++i) peak = std::max(peak, std::fabs(lr[i]));
  return 20.0 * std::log10(std::max(peak, 1e-9f));
}

MasterStats master(const Stereo& in, std::vector<float>& out, float gain, float ceilingDb) {
  out.assign(RENDER_FRAMES * 2, 0.0f);
  Svf hpL, hpR;
  hpL.tune(24.0f, 0.7f);
  hpR.tune(24.0f, 0.7f);
  // Glue compressor: gentle ratio, RMS-ish detector.
  float env = 0.0f;
  const float attack = 1.0f - std::exp(-1.0f / (0.012f * RATE));
  const float release = 1.0f - std::exp(-1.0f / (0.180f * RATE));
  const float threshold = 0.35f;
  std::vector<float> glued(RENDER_FRAMES * 2);
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    hpL.run(in.l[i] * gain);
    hpR.run(in.r[i] * gain);
    float l = hpL.hp, r = hpR.hp;
    float level = std::sqrt(0.5f * (l * l + r * r));
    env += (level > env ? attack : release) * (level - env);
    float g = 1.0f;
    if (env > threshold) g = std::pow(env / threshold, 1.0f / 1.5f - 1.0f);
    glued[2 * i] = l * g;
    glued[2 * i + 1] = r * g;
  }
  // Limiter: the gain reaches its target by the time the peak arrives, then recovers.
  const float ceiling = (float)std::pow(10.0, ceilingDb / 20.0);
  const size_t lookahead = frameAt(0.004);
  std::vector<float> target(RENDER_FRAMES, 1.0f);
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    float peak = std::max(std::fabs(glued[2 * i]), std::fabs(glued[2 * i + 1]));
    if (peak > ceiling) target[i] = ceiling / peak;
  }
  // Lowest gain needed anywhere in the look-ahead window.
  std::vector<float> windowMin(RENDER_FRAMES, 1.0f);
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    if (target[i] >= 1.0f) continue;
    size_t from = i > lookahead ? i - lookahead : 0;
    for (size_t j = from; j <= i; ++j) windowMin[j] = std::min(windowMin[j], target[i]);
  }
  // Release: instant down, exponential back up; never above the window minimum.
  const float recover = 1.0f - std::exp(-1.0f / (0.08f * RATE));
  std::vector<float> released(RENDER_FRAMES);
  float g = 1.0f;
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    float want = windowMin[i];
    g = want < g ? want : g + recover * (want - g);
    released[i] = g;
  }
  // Attack: a box average over the look-ahead turns every drop into a ramp. Each averaged
  // value comes from a window that contains the current sample, so no peak gets through.
  const size_t box = lookahead + 1;
  std::vector<float> gainCurve(RENDER_FRAMES);
  double sum = 0.0;
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    sum += released[i];
    if (i >= box) sum -= released[i - box];
    gainCurve[i] = (float)(sum / (double)std::min(i + 1, box));
  }
  MasterStats stats{0.0f, 0.0f};
  size_t limited = 0;
  for (size_t i = 0; i < RENDER_FRAMES; ++i) {
    out[2 * i] = glued[2 * i] * gainCurve[i];
    out[2 * i + 1] = glued[2 * i + 1] * gainCurve[i];
    float db = 20.0f * std::log10(gainCurve[i]);
    stats.deepestLimitDb = std::min(stats.deepestLimitDb, db);
    if (db < -1.0f) ++limited;
  }
  stats.limitedShare = (float)limited / (float)RENDER_FRAMES;
  return stats;
}

// The file: the first pass up to 80 s, then the loop's second pass.
std::vector<float> assemble(const std::vector<float>& render) {
  std::vector<float> song(SONG_FRAMES * 2);
  std::copy(render.begin(), render.begin() + LOOP_START * 2, song.begin());
  std::copy(render.begin() + SONG_FRAMES * 2, render.begin() + (SONG_FRAMES + LOOP_FRAMES) * 2,
            song.begin() + LOOP_START * 2);
  return song;
}


bool encodeVorbis(const std::vector<float>& song, float quality, std::vector<unsigned char>& file) {
  file.clear();
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 2, RATE, quality) != 0) return false;
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_comment_add_tag(&vc, "TITLE", "zOOv 2020");
  vorbis_comment_add_tag(&vc, "COMMENT", "loops from 80 s to the end");
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x20202020);
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  ogg_page og;
  auto append = [&](const ogg_page& page) {
    file.insert(file.end(), page.header, page.header + page.header_len);
    file.insert(file.end(), page.body, page.body + page.body_len);
  };
  while (ogg_stream_flush(&os, &og) != 0) append(og);

  const size_t frames = song.size() / 2;
  const size_t chunk = 4096;
  bool done = false;
  size_t at = 0;
  while (!done) {
    size_t n = std::min(chunk, frames - at);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buf = vorbis_analysis_buffer(&vd, (int)n);
      for (size_t i = 0; i < n; ++i) {
        buf[0][i] = song[2 * (at + i)];
        buf[1][i] = song[2 * (at + i) + 1];
      }
      vorbis_analysis_wrote(&vd, (int)n);
      at += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og) != 0) {
          append(og);
          if (ogg_page_eos(&og)) done = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return true;
}

// A 32-bit float stereo WAV file.
bool writeWav(const std::string& path, const std::vector<float>& lr) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  auto u32 = [&](uint32_t v) { fwrite(&v, 4, 1, f); };
  auto u16 = [&](uint16_t v) { fwrite(&v, 2, 1, f); };
  uint32_t bytes = (uint32_t)(lr.size() * sizeof(float));
  fwrite("RIFF", 1, 4, f);
  u32(36 + bytes);
  fwrite("WAVEfmt ", 1, 8, f);
  u32(16);
  u16(3);  // IEEE float
  u16(2);
  u32(RATE);
  u32(RATE * 2 * 4);
  u16(2 * 4);
  u16(32);
  fwrite("data", 1, 4, f);
  u32(bytes);
  bool ok = fwrite(lr.data(), sizeof(float), lr.size(), f) == lr.size();
  return fclose(f) == 0 && ok;
}

}  // namespace soundtrack

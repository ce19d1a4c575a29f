// Helpers for the music tests: the reference tools (sox, oggenc, oggdec) that make and
// decode test files independently of the engine, and raw PCM handling.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace musictest {

inline bool run(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<unsigned char> readBytes(const std::string& path) {
  std::vector<unsigned char> data;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return data;
  unsigned char buffer[1 << 16];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + n);
  fclose(f);
  return data;
}

// An Ogg Vorbis file made by sox and oggenc: a rising tone over noise, so that no stretch
// of it repeats another and a wrong offset cannot compare equal by accident.
inline std::string makeOgg(const std::string& name, int rate, int channels, double seconds) {
  std::string wav = test::scratchPath(name + ".wav");
  std::string ogg = test::scratchPath(name + ".ogg");
  char command[512];
  snprintf(command, sizeof command,
           "sox -n -r %d -c %d -b 16 %s synth %.3f sine 220-3300 whitenoise vol 0.45 "
           "fade 0.005 %.3f 0.005",
           rate, channels, wav.c_str(), seconds, seconds);
  EXPECT_TRUE(run(command)) << command;
  std::string encode = "oggenc -Q -q 3 -o " + ogg + " " + wav;
  EXPECT_TRUE(run(encode)) << encode;
  return ogg;
}

// The reference decoder's 16-bit output, at the file's own rate and channel count.
inline std::vector<int16_t> oggdec(const std::string& ogg) {
  std::string raw = test::scratchPath("oggdec-" + std::to_string(std::hash<std::string>()(ogg)) + ".raw");
  std::string command = "oggdec -Q -R -b 16 -e 0 -s 1 -o " + raw + " " + ogg;
  EXPECT_TRUE(run(command)) << command;
  std::vector<unsigned char> bytes = readBytes(raw);
  std::vector<int16_t> pcm(bytes.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = (int16_t)(uint16_t)(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return pcm;
}

// The reference decoder's output as floats (sample / 32768), as the engine holds samples.
inline std::vector<float> oggdecFloats(const std::string& ogg) {
  std::vector<int16_t> pcm = oggdec(ogg);
  std::vector<float> out(pcm.size());
  for (size_t i = 0; i < pcm.size(); ++i) out[i] = pcm[i] / 32768.0f;
  return out;
}

// 16-bit PCM converted to the engine's mix format (44100 Hz stereo float) by SDL in one
// pass, with silence after the end to let the resampler finish, cut to the exact length.
inline std::vector<float> toMixFormat(const std::vector<int16_t>& pcm, int rate, int channels) {
  std::vector<float> out;
  SDL_AudioStream* stream =
      SDL_NewAudioStream(AUDIO_S16SYS, (Uint8)channels, rate, AUDIO_F32SYS, 2, 44100);
  EXPECT_NE(stream, nullptr);
  if (!stream) return out;
  // One put: SDL 2's stream resampler is only exact when it sees the data in one piece.
  std::vector<int16_t> padded = pcm;
  if (rate != 44100) padded.resize(pcm.size() + (size_t)4096 * (size_t)channels, 0);
  SDL_AudioStreamPut(stream, padded.data(), (int)(padded.size() * sizeof(int16_t)));
  SDL_AudioStreamFlush(stream);
  int available = SDL_AudioStreamAvailable(stream);
  out.resize((size_t)available / sizeof(float));
  int got = SDL_AudioStreamGet(stream, out.data(), available);
  out.resize((size_t)(got > 0 ? got : 0) / sizeof(float));
  SDL_FreeAudioStream(stream);
  const uint64_t frames = pcm.size() / (size_t)channels;
  const size_t exact = (size_t)((frames * 44100 + (uint64_t)rate / 2) / (uint64_t)rate) * 2;
  EXPECT_GE(out.size(), exact) << "the resampler left frames behind";
  if (out.size() > exact) out.resize(exact);
  return out;
}

}  // namespace musictest

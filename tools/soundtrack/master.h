// Mastering and delivery: loudness and true peak, the bus glue and limiter, the file's
// layout and its Vorbis encoding, and float WAV files for the stems.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mix.h"

namespace soundtrack {

// Integrated loudness (ITU-R BS.1770: K-weighting, 400 ms blocks, both gates) in LUFS.
double integratedLoudness(const float* lr, size_t frames);
// True peak in dBTP: the largest magnitude after four-times oversampling.
double truePeak(const float* lr, size_t frames);

struct MasterStats {
  float deepestLimitDb;  // largest limiter gain reduction
  float limitedShare;    // share of the time the limiter takes more than 1 dB
};
// Bus glue and a look-ahead peak limiter, run over the whole render so that the loop's
// second pass is processed in the same state as any later one. `out` is interleaved.
MasterStats master(const Stereo& in, std::vector<float>& out, float gain, float ceilingDb);

// The file: the first pass up to 80 s, then the loop's second pass.
std::vector<float> assemble(const std::vector<float>& render);

bool encodeVorbis(const std::vector<float>& song, float quality, std::vector<unsigned char>& file);
// A 32-bit float stereo WAV file.
bool writeWav(const std::string& path, const std::vector<float>& lr);

}  // namespace soundtrack

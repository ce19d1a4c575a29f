// Finds where a short clip of sound lies in a longer reference: used to check that the
// audio of a captured video is the soundtrack at the right instant. Both files are raw
// mono 32-bit float (ffmpeg -f f32le -ac 1) at one rate.
// Usage: zoov_audio_find REFERENCE.raw CLIP.raw
//   prints "OFFSET RESIDUAL_DB": the sample offset in the reference where the clip fits
//   best, and how much of the clip that fit leaves unexplained, in dB of the clip's energy
//   (gain does not matter: lossy coding gives about -20 dB, unrelated sound about 0 dB).
#include <cmath>
#include <cstdio>
#include <vector>

static bool readFloats(const char* path, std::vector<float>& samples) {
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  float block[4096];
  size_t n;
  while ((n = fread(block, sizeof(float), 4096, file)) > 0) samples.insert(samples.end(), block, block + n);
  fclose(file);
  return true;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: zoov_audio_find REFERENCE.raw CLIP.raw\n");
    return 2;
  }
  std::vector<float> ref, clip;
  if (!readFloats(argv[1], ref) || !readFloats(argv[2], clip)) {
    fprintf(stderr, "zoov_audio_find: cannot read %s\n", ref.empty() ? argv[1] : argv[2]);
    return 1;
  }
  if (clip.empty() || ref.size() < clip.size()) {
    fprintf(stderr, "zoov_audio_find: the clip must be shorter than the reference, and not empty\n");
    return 1;
  }
  double clipEnergy = 0;
  for (float c : clip) clipEnergy += (double)c * c;
  double windowEnergy = 0;  // of ref[offset, offset + clip.size())
  for (size_t i = 0; i < clip.size(); ++i) windowEnergy += (double)ref[i] * ref[i];

  // The fit with the best gain leaves clipEnergy * (1 - rho^2) unexplained, where rho is the
  // normalised correlation, so the best offset is the one with the largest rho^2 (rho > 0).
  double bestRho2 = -1;
  size_t bestOffset = 0;
  for (size_t offset = 0; offset + clip.size() <= ref.size(); ++offset) {
    if (offset > 0) {
      double leaving = ref[offset - 1], entering = ref[offset + clip.size() - 1];
      windowEnergy += entering * entering - leaving * leaving;
    }
    const float* r = &ref[offset];
    double dot = 0;
    for (size_t i = 0; i < clip.size(); ++i) dot += (double)r[i] * clip[i];
    if (dot <= 0 || windowEnergy <= 0 || clipEnergy <= 0) continue;
    double rho2 = dot * dot / (windowEnergy * clipEnergy);
    if (rho2 > bestRho2) {
      bestRho2 = rho2;
      bestOffset = offset;
    }
  }
  if (bestRho2 < 0) {
    fprintf(stderr, "zoov_audio_find: no match (silence?)\n");
    return 1;
  }
  double unexplained = std::fmax(1.0 - bestRho2, 1e-12);
  printf("%zu %.1f\n", bestOffset, 10.0 * std::log10(unexplained));
  return 0;
}

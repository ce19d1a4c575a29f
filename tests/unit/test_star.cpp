// The jagged star: its walk over the 17 points, the steps per line, the pulse, the gaps
// and the random words they still spend, checked against a separate generator and
// closed-form values computed in double.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fx/lines.h"
#include "fx/well512.h"
#include "support/cpu_show.h"
#include "support/line_capture.h"
#include "support/well512_ref.h"
#include "text/star.h"

using test::capturedSegments;
using test::freshLineBuffer;
using test::RefWell;
using test::Segment;

namespace {

// The star and its lines drawn as the script draws them, with the test show's generator
// and shape.
Well512& starRng = test::cpuShow().starRng;
void drawJaggedStar(int32_t seed, int32_t timeMs) {
  ::drawJaggedStar(test::lines(), starRng, test::cpuShow().starShape, seed, timeMs);
}
void drawJaggedLine(float x1, float z1, float x2, float z2, float k) {
  ::drawJaggedLine(test::lines(), starRng, x1, z1, x2, z2, k);
}

// How many words `after` lies beyond `before` (-1 if not within limit).
int wordsBetween(RefWell before, const Well512& after, int limit = 10000) {
  for (int n = 0; n <= limit; ++n) {
    if (test::sameState(after, before)) return n;
    before.gen();
  }
  return -1;
}

const double PI = 3.14159265358979323846;

struct Pt {
  float x, z;
};

// Point j of the star, as the figure places it: float angle, double trig, float radius.
Pt starPoint(int j) {
  float a = (float)j * 0.36959913f;
  return {(float)std::sin((double)a) * 120.0f, (float)std::cos((double)a) * 120.0f};
}

// Steps of a line of length len, reasoned in double.
int stepsFor(double len) {
  int n = (int)std::floor(len / 3.0) + 1;
  return n > 200 ? 200 : n;
}

bool lit(int i, int p, int n) { return 1.2 * std::fabs(std::cos(PI * (i + p) / n)) > 0.1; }

// Segments of the whole star, reasoned from the chords in double and a separate generator.
int expectedStarSegments(int seed, int* wordsOut = nullptr) {
  int u = ((2 * seed + 6) % 7) + 3;
  RefWell r(seed);
  int total = 0, words = 0, j = 0;
  do {
    int next = (j + u) % 17;
    double chord = 240.0 * std::sin(PI * std::abs(next - j) / 17.0);
    int n = stepsFor(chord);
    int p = (int)(r.gen() % 10u) + 1;
    r.skip(n);
    words += 1 + n;
    for (int i = 0; i < n; ++i) total += lit(i, p, n);
    j = next;
  } while (j != 0);
  if (wordsOut) *wordsOut = words;
  return total;
}

// The star once more, straight from its step list with every rounding written out, to pin
// the precisions: double trig on widened floats, theta rounded once after the jitter, the
// envelope rounded before and after the double factor 1.2, the 0.1 test in double.
void refJaggedLine(RefWell& r, Pt a, Pt b, float k, std::vector<Segment>& out) {
  int p = (int)(r.gen() % 10u) + 1;
  float lx = b.x - a.x, lz = b.z - a.z;
  float len = (float)std::sqrt((double)(lx * lx + lz * lz));
  float third = len / 3.0f;
  int n = (int)std::floor((double)third) + 1;
  if (n > 200) n = 200;
  float cx = a.x, cz = a.z;
  for (int i = 0; i < n; ++i) {
    float dx = b.x - cx, dz = b.z - cz;
    float dist = (float)std::sqrt((double)(dx * dx + dz * dz));
    float step = dist / (float)(n - i);
    double heading = std::atan2((double)dz, (double)dx);
    double turned = heading + (double)RefWell::centred(r.gen()) / 1024.0;
    float theta = (float)turned;
    float cosT = (float)std::cos((double)theta);
    float sinT = (float)std::sin((double)theta);
    float nx = i == n - 1 ? b.x : cx + cosT * step;
    float nz = i == n - 1 ? b.z : cz + sinT * step;
    float frac = (float)(i + p) / (float)n;
    double angle = PI * (double)frac;
    float env = (float)std::fabs(std::cos(angle));
    double e = (double)(float)(1.2 * (double)env);
    if (e > 0.1) {
      Rgb c = hsvToRgb((float)((i * 360 / n) % 360), 0.1f, (float)e * k);
      out.push_back({cx, cz, nx, nz, k * 10.0f, c.r, c.g, c.b});
    }
    cx = nx;
    cz = nz;
  }
}

std::vector<Segment> refJaggedStar(int seed, int timeMs) {
  RefWell r(seed);
  float quotient = (float)timeMs / 4000.0f;
  float w = (float)std::fabs(std::sin(PI * (double)quotient));
  float k = (float)std::pow((double)w, timeMs % 4000 < 2000 ? 50.0 : 0.4);
  int u = ((2 * seed + 6) % 7) + 3;
  std::vector<Segment> out;
  int j = 0;
  do {
    int next = (j + u) % 17;
    refJaggedLine(r, starPoint(j), starPoint(next), k, out);
    j = next;
  } while (j != 0);
  return out;
}

// The star drawn into an empty buffer.
std::vector<Segment> star(int seed, int timeMs) {
  freshLineBuffer();
  drawJaggedStar(seed, timeMs);
  return capturedSegments();
}

// "" when the star matches the step list bit for bit, else the first difference.
std::string starDiff(int seed, int timeMs) {
  return test::firstDifference(star(seed, timeMs), refJaggedStar(seed, timeMs));
}

// One line drawn into an empty buffer from a freshly seeded starRng; returns the words spent.
int lineWords(int seed, Pt a, Pt b, float k) {
  freshLineBuffer();
  starRng.seed((uint32_t)seed);
  drawJaggedLine(a.x, a.z, b.x, b.z, k);
  return wordsBetween(RefWell(seed), starRng);
}

}  // namespace

TEST(JaggedStar, StepPerSeedFromTheVisitedPoints) {
  const int expectedStep[] = {9, 4, 6, 8, 3, 5, 7, 9, 4};
  for (int seed = 0; seed < 9; ++seed) {
    std::vector<Segment> segs = star(seed, 2000);
    // Every line lands on its end point exactly; list the star points reached, in order.
    std::vector<int> visited;
    for (const Segment& s : segs)
      for (int j = 0; j < 17; ++j)
        if (s.x2 == starPoint(j).x && s.z2 == starPoint(j).z) visited.push_back(j);
    ASSERT_EQ(visited.size(), 17u) << "seed " << seed;
    for (int l = 0; l < 17; ++l) EXPECT_EQ(visited[l], (expectedStep[seed] * (l + 1)) % 17);
    // It starts at point 0, (0, 120).
    EXPECT_EQ(segs.front().x1, 0.0f);
    EXPECT_EQ(segs.front().z1, 120.0f);
  }
}

TEST(JaggedStar, StepsPerLineForShortAndLongChords) {
  // Seed 4 walks with step 3 (chords about 126.3), seeds 0 and 3 with 9 and 8 (about 239).
  // One word for the phase and one per step, gaps included.
  const struct {
    int seed, step, steps;
  } cases[] = {{4, 3, 43}, {0, 9, 80}, {3, 8, 80}};
  for (const auto& c : cases) {
    EXPECT_EQ(lineWords(c.seed, starPoint(0), starPoint(c.step), 1.0f), 1 + c.steps)
        << "seed " << c.seed;
    star(c.seed, 2000);
    EXPECT_EQ(wordsBetween(RefWell(c.seed), starRng), 17 * (1 + c.steps)) << "seed " << c.seed;
  }
}

TEST(JaggedStar, StepCountFollowsLengthAndIsCapped) {
  const struct {
    float length;
    int steps;
  } cases[] = {{0.0f, 1}, {2.9f, 1}, {3.0f, 2}, {5.99f, 2}, {126.0f, 43}, {596.9f, 199},
               {597.0f, 200}, {1000.0f, 200}};
  for (const auto& c : cases)
    EXPECT_EQ(lineWords(11, {-10.0f, 4.0f}, {-10.0f + c.length, 4.0f}, 0.5f), 1 + c.steps)
        << "length " << c.length;
}

TEST(JaggedStar, PulseThroughThePeriod) {
  const struct {
    int v;
    double k;
  } cases[] = {{1500, 0.019}, {1800, 0.538}, {2000, 1.0}, {3000, 0.871}, {3600, 0.625}, {3960, 0.25}};
  for (int period : {0, 1, 6, 25}) {
    for (const auto& c : cases) {
      int t = 4000 * period + c.v;
      std::vector<Segment> segs = star(2, t);
      ASSERT_FALSE(segs.empty());
      // The quotient is a float: late periods lose digits that the power 50 magnifies.
      double w = std::fabs(std::sin(PI * (double)((float)t / 4000.0f)));
      double k = std::pow(w, c.v < 2000 ? 50.0 : 0.4);
      EXPECT_NEAR(k, c.k, 1e-3);
      // The wall height is k x 10 for every segment of the figure.
      for (const Segment& s : segs) ASSERT_EQ(s.h, segs.front().h);
      EXPECT_NEAR(segs.front().h / 10.0, k, 1e-7 + 1e-5 * k) << "t " << t;
    }
  }
}

TEST(JaggedStar, DarkStartStillAppendsItsSegments) {
  std::vector<Segment> dark = star(5, 0);
  EXPECT_EQ((int)dark.size(), expectedStarSegments(5));
  for (const Segment& s : dark) {
    EXPECT_EQ(s.h, 0.0f);
    EXPECT_EQ(s.r, 0.0f);
  }
  // Under 0.02 before 1500 ms: nearly black and walls under 0.2 high.
  for (const Segment& s : star(5, 1400)) {
    EXPECT_LT(s.h, 0.2f);
    EXPECT_LT(s.r, 0.025f);
  }
}

TEST(JaggedStar, DegenerateLineIsOneZeroLengthSegment) {
  EXPECT_EQ(lineWords(3, {5.0f, -7.0f}, {5.0f, -7.0f}, 1.0f), 2);
  // Envelope 1.2 |cos(pi p)| = 1.2 at hue 0, passed on unclamped.
  Rgb want = hsvToRgb(0.0f, 0.1f, 1.2f);
  EXPECT_EQ(test::firstDifference(capturedSegments(), {{5, -7, 5, -7, 10, 1.2f, want.g, want.b}}), "");
}

TEST(JaggedStar, WalkReaimsAtTheEndAndLandsOnIt) {
  const float ax = -30.0f, az = 20.0f, bx = 70.0f, bz = -45.0f;
  lineWords(77, {ax, az}, {bx, bz}, 1.0f);
  std::vector<Segment> segs = capturedSegments();

  RefWell r(77);
  int p = (int)(r.gen() % 10u) + 1;
  int n = stepsFor(std::hypot((double)bx - ax, (double)bz - az));
  std::vector<int> drawnSteps;
  std::vector<uint32_t> words;
  for (int i = 0; i < n; ++i) {
    words.push_back(r.gen());
    if (lit(i, p, n)) drawnSteps.push_back(i);
  }
  ASSERT_EQ(segs.size(), drawnSteps.size());
  ASSERT_LT((int)drawnSteps.size(), n) << "this line should have a gap";

  EXPECT_EQ(segs.back().x2, bx);
  EXPECT_EQ(segs.back().z2, bz);
  for (size_t q = 0; q < segs.size(); ++q) {
    const Segment& s = segs[q];
    int i = drawnSteps[q];
    if (q > 0 && drawnSteps[q - 1] == i - 1) {
      // Consecutive steps join exactly.
      EXPECT_EQ(s.x1, segs[q - 1].x2);
      EXPECT_EQ(s.z1, segs[q - 1].z2);
    }
    double dx = bx - (double)s.x1, dz = bz - (double)s.z1;
    double remaining = std::hypot(dx, dz);
    double len = std::hypot((double)s.x2 - s.x1, (double)s.z2 - s.z1);
    if (i < n - 1) {
      // The remaining distance shared among the remaining steps, turned by the jitter.
      EXPECT_NEAR(len, remaining / (n - i), 1e-4) << "step " << i;
      double turn = std::atan2((double)s.z2 - s.z1, (double)s.x2 - s.x1) - std::atan2(dz, dx);
      turn = std::remainder(turn, 2 * PI);
      EXPECT_NEAR(turn, RefWell::centred(words[i]) / 1024.0, 2e-4) << "step " << i;
    }
    // Hue once round the circle along the line, value e x k with k = 1.
    int hue = (i * 360 / n) % 360;
    double e = 1.2 * std::fabs(std::cos(PI * (i + p) / n));
    Rgb want = hsvToRgb((float)hue, 0.1f, (float)e);
    EXPECT_NEAR(s.r, want.r, 1e-6);
    EXPECT_NEAR(s.g, want.g, 1e-6);
    EXPECT_NEAR(s.b, want.b, 1e-6);
  }
}

TEST(JaggedStar, GapsStillSpendTheirWords) {
  // Line two drawn after line one must be what it is after skipping line one's words by
  // hand: a gap that skipped its word would shift every later step.
  const Pt p0 = starPoint(0), p1 = starPoint(5), p2 = starPoint(10);
  lineWords(1, p0, p1, 0.7f);
  int firstLine = test::lines().vertexCount / 8;
  int n1 = stepsFor(240.0 * std::sin(PI * 5 / 17.0));
  ASSERT_LT(firstLine, n1) << "line one should have gaps";
  drawJaggedLine(p1.x, p1.z, p2.x, p2.z, 0.7f);
  std::vector<Segment> after = capturedSegments(firstLine);

  freshLineBuffer();
  starRng.seed(1);
  for (int w = 0; w < 1 + n1; ++w) starRng.next();
  drawJaggedLine(p1.x, p1.z, p2.x, p2.z, 0.7f);
  EXPECT_EQ(test::firstDifference(after, capturedSegments()), "");
}

TEST(JaggedStar, TotalSegmentsForSeveralSeeds) {
  for (int seed : {0, 1, 3, 4, 6, 13}) {
    int words = 0;
    int want = expectedStarSegments(seed, &words);
    star(seed, 2500);
    EXPECT_EQ(test::lines().vertexCount / 8, want) << "seed " << seed;
    EXPECT_EQ(test::lines().indexCount, want * 12);
    EXPECT_EQ(wordsBetween(RefWell(seed), starRng), words);
    EXPECT_LE(want, 1360);
  }
}

TEST(JaggedStar, StopsAtAFullBuffer) {
  freshLineBuffer();
  test::lines().vertexCount = 79992 - 8 * 5;
  test::lines().indexCount = test::lines().vertexCount / 8 * 12;
  drawJaggedStar(0, 2000);
  EXPECT_EQ(test::lines().vertexCount, 80000);
  EXPECT_EQ(test::lines().indexCount, 120000);
}

TEST(JaggedStar, BitExactAgainstTheStepList) {
  const int cases[][2] = {{0, 2000}, {1, 1234}, {4, 3999}, {9, 4000 * 19 + 2700}, {40, 4000 * 80 + 1800}};
  for (const auto& c : cases) EXPECT_EQ(starDiff(c[0], c[1]), "") << "seed " << c[0] << " t " << c[1];
}

TEST(JaggedStar, RepeatedAndAlternatingSeedsDrawTheSameAsAFreshWalk) {
  // Frames keep one seed for eight seconds; whatever the figure keeps between calls must not
  // show: every call equals the step list, and starRng ends where the walk leaves it.
  const int cases[][2] = {{3, 2000}, {3, 2016}, {4, 2500}, {3, 3100}, {3, 3100}, {4, 0}, {0, 1900}, {4, 3900}};
  for (const auto& c : cases) {
    // Disturb the generator and draw a stray line between frames.
    starRng.seed(999);
    starRng.next();
    freshLineBuffer();
    drawJaggedLine(1.0f, 2.0f, 40.0f, 9.0f, 1.0f);
    EXPECT_EQ(starDiff(c[0], c[1]), "") << "seed " << c[0] << " t " << c[1];
    int words = 0;
    expectedStarSegments(c[0], &words);
    EXPECT_EQ(wordsBetween(RefWell(c[0]), starRng), words) << "seed " << c[0];
  }
}

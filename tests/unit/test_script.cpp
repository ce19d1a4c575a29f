// The show script: which texts each slot draws, the write-on reveal, the emission window
// and the choice of line figure, checked against the credits table and the text model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fx/tendrils.h"
#include "show/clock.h"
#include "show/script.h"
#include "support/cpu_show.h"
#include "support/line_capture.h"
#include "text/star.h"
#include "unit/text_model.h"

using test::LineVertex;

namespace {

// The script run on the test show; its emission flag kept where the frame keeps it.
int& emissionFlag = test::cpuShow().emissionFlag;
void runScript(const FrameClock& clock, int32_t tick) {
  emissionFlag = ::runScript(test::cpuShow(), clock, tick);
}
void drawTendrils(int32_t seed, int32_t now) {
  Show& show = test::cpuShow();
  ::drawTendrils(test::lines(), show.figureRng, show.tendrilShape, seed, now);
}
void drawJaggedStar(int32_t seed, int32_t timeMs) {
  Show& show = test::cpuShow();
  ::drawJaggedStar(test::lines(), show.starRng, show.starShape, seed, timeMs);
}

struct CreditLine {
  const char* text;
  float x, z, scale;
};

// The credits, step by step (music time = step x 10 s on the first pass).
const std::vector<std::vector<CreditLine>> credits = {
    {},
    {{"Yet again..", -65, 20, 1.0f}},
    {{"First release", -60, 0, 0.8f}, {"of the year..", -60, 30, 0.8f}},
    {},
    {{"Let's do the", -60, 0, 0.8f}, {"Credits:", -60, 30, 1.0f}},
    {{"Code by:", -60, 0, 1.0f}, {"pUoVERLaqGeko", -60, 30, 0.75f}},
    {{"Music by:", -60, 0, 1.0f}, {"mOUAAvel", -60, 30, 1.0f}},
    {{"Font by:", -60, 0, 1.0f}, {"R.T. Quimbly", -60, 30, 0.8f}},
    {{"zOOv 2019", -60, 0, 1.0f}, {"is dead", -60, 30, 1.25f}},
    {{"Long Live", -60, 0, 1.0f}, {"zOOv 2020!", -60, 30, 0.9f}},
    {{"demo", -60, -30, 1.0f}, {"release", -60, 0, 1.0f}, {"00:00:00", -60, 30, 1.0f}, {"1.1.2020", -60, 60, 1.0f}},
    {},
};

std::vector<model::Piece> creditPieces(int step, float fade) {
  std::vector<model::Piece> out;
  for (const CreditLine& l : credits[step]) {
    std::vector<model::Piece> p = model::text(l.text, l.x, l.z, l.scale, fade);
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

struct Frame {
  std::vector<LineVertex> vertices;
  int vertexCount, indexCount;
  int emission;
};

Frame captureFrame() {
  return {test::capturedLineVertices(), test::lines().vertexCount, test::lines().indexCount, emissionFlag};
}

// The script's part of one frame, on an emptied buffer as the frame leaves it.
Frame scriptFrame(double musicTime, int32_t tick) {
  test::freshLineBuffer();
  runScript(deriveClock(musicTime), tick);
  return captureFrame();
}

// What a figure appends on its own, drawn straight into an empty buffer.
std::vector<LineVertex> figureAlone(LineFigure figure, int32_t seed, int32_t tick) {
  test::freshLineBuffer();
  if (figure == LineFigure::Tendrils) drawTendrils(seed, tick);
  if (figure == LineFigure::Star) drawJaggedStar(seed, tick);
  return test::capturedLineVertices();
}

// a holds b from vertex `from` on, to its end, bit for bit.
bool sameVertices(const std::vector<LineVertex>& a, size_t from, const std::vector<LineVertex>& b) {
  return a.size() == from + b.size() &&
         (b.empty() || std::memcmp(&a[from], b.data(), b.size() * sizeof(LineVertex)) == 0);
}

// The frame holds the first `shown` text pieces of the step, then the figure (if any).
void expectFrame(const Frame& f, int step, float fade, int shown, LineFigure figure, int32_t seed,
                 int32_t tick) {
  std::vector<model::Piece> text = creditPieces(step, fade);
  ASSERT_LE((size_t)shown, text.size());
  text.resize(shown);
  EXPECT_EQ(model::compare(f.vertices, 0, text), "") << "step " << step;
  std::vector<LineVertex> fig = figureAlone(figure, seed, tick);
  EXPECT_TRUE(sameVertices(f.vertices, 8 * (size_t)shown, fig)) << "step " << step;
  EXPECT_EQ(f.vertexCount, 8 * shown + (int)fig.size());
  EXPECT_EQ(f.indexCount, f.vertexCount * 3 / 2);
}

int textSegments(int step) { return (int)creditPieces(step, 1.0f).size(); }

}  // namespace

TEST(Script, EveryStepDrawsItsCreditsInTableOrder) {
  // Seven seconds into each slot the texts are complete. Tick 2000 lies in an even
  // period: the star from 16 s on, nothing before.
  for (int step = 0; step < 12; ++step) {
    double t = step * 10.0 + 7.0;
    bool emitting = t >= 80.0 && t < 88.0;
    LineFigure fig = emitting ? LineFigure::None : t > 16.0 ? LineFigure::Star : LineFigure::None;
    expectFrame(scriptFrame(t, 2000), step, 1.0f, textSegments(step), fig, 0, 2000);
  }
}

TEST(Script, StepsRepeatEveryHundredAndTwentySeconds) {
  Frame first = scriptFrame(97.5, 5000);
  Frame again = scriptFrame(217.5, 5000);
  ASSERT_GT(textSegments(9), 0);
  EXPECT_TRUE(sameVertices(again.vertices, 0, first.vertices));
  // Step 0 again: nothing but the tendrils.
  expectFrame(scriptFrame(127.0, 5000), 0, 1.0f, 0, LineFigure::Tendrils, 0, 5000);
}

TEST(Script, EmptyStepsLeaveTheBufferEmpty) {
  // Tick 80000 lies in period 20 (even): before 16 s nothing at all; later the star only.
  for (double t : {5.0, 35.0, 115.0}) {
    LineFigure fig = t > 16.0 ? LineFigure::Star : LineFigure::None;
    expectFrame(scriptFrame(t, 80000), (int)(t / 10.0), 1.0f, 0, fig, 10, 80000);
  }
  expectFrame(scriptFrame(5.0, 0), 0, 1.0f, 0, LineFigure::None, 0, 0);
}

TEST(Script, RevealWritesTheTextOnOverSixSeconds) {
  const int all = textSegments(1);
  ASSERT_GT(all, 0);
  // Tick 1000: period 0, music below 16 s: no figure, the buffer holds the text alone.
  const struct {
    double t;
    int ms;  // into the slot
  } cases[] = {{10.0, 0}, {11.2345, 1234}, {13.0, 3000}, {15.999, 5999}, {16.0, 6000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "music time " << c.t);
    expectFrame(scriptFrame(c.t, 1000), 1, 1.0f, all * c.ms / 6000, LineFigure::None, 0, 1000);
  }
}

TEST(Script, LastSecondFadesTheTextDown) {
  // 19.5 s: complete, at fade 0.5, so walls 5 high and colour value 0.5. Tick 1000:
  // music above 16 s in an even period, so the star follows the text.
  Frame f = scriptFrame(19.5, 1000);
  const int all = textSegments(1);
  expectFrame(f, 1, 0.5f, all, LineFigure::Star, 0, 1000);
  for (int i = 0; i < all; ++i) {
    EXPECT_EQ(f.vertices[8 * i + 2].y, 5.0f);
    const LineVertex& foot = f.vertices[8 * i];
    EXPECT_EQ(std::max(foot.r, std::max(foot.g, foot.b)), 0.5f);  // the colour value is the fade
  }
}

TEST(Script, EmissionWindowIsEightyInclusiveToEightyEightExclusive) {
  for (double t : {79.999, 80.0, 84.0, 87.999, 88.0})
    EXPECT_EQ(scriptFrame(t, 5000).emission, t >= 80.0 && t < 88.0) << "music time " << t;
  // Written in every frame: cleared again once the window is left.
  scriptFrame(81.0, 5000);
  EXPECT_EQ(scriptFrame(3.0, 5000).emission, 0);
}

TEST(Script, NoFigureWhileEmitting) {
  // 80.0 s: step 8 has not started writing, and tick 5000 would ask for tendrils.
  EXPECT_EQ(scriptFrame(80.0, 5000).vertexCount, 0);
  // 87.5 s, tick 10000: an even period, the star otherwise. 88.0 s: the tendrils are back.
  expectFrame(scriptFrame(87.5, 10000), 8, 1.0f, textSegments(8), LineFigure::None, 0, 10000);
  expectFrame(scriptFrame(88.0, 5000), 8, 1.0f, textSegments(8), LineFigure::Tendrils, 0, 5000);
}

TEST(Script, StarWaitsUntilSixteenSeconds) {
  expectFrame(scriptFrame(16.0, 2000), 1, 1.0f, textSegments(1), LineFigure::None, 0, 2000);
  expectFrame(scriptFrame(16.001, 2000), 1, 1.0f, textSegments(1), LineFigure::Star, 0, 2000);
}

TEST(Script, FigureChoiceOverTickPeriods) {
  struct Case {
    int32_t tick;
    float t;
    LineFigure figure;
    int32_t seed;
  };
  const Case cases[] = {
      {2000, 16.0f, LineFigure::None, 0},       {2000, 16.001f, LineFigure::Star, 0},
      {0, 10.0f, LineFigure::None, 0},          {3999, 10.0f, LineFigure::None, 0},
      {4000, 10.0f, LineFigure::Tendrils, 0},   {7999, 10.0f, LineFigure::Tendrils, 0},
      {8000, 10.0f, LineFigure::None, 1},       {8000, 20.0f, LineFigure::Star, 1},
      {11999, 20.0f, LineFigure::Star, 1},      {12000, 20.0f, LineFigure::Tendrils, 1},
      {15999, 0.0f, LineFigure::Tendrils, 1},   {16000, 30.0f, LineFigure::Star, 2},
      {20000, 30.0f, LineFigure::Tendrils, 2},  {125000, 50.0f, LineFigure::Tendrils, 15},
      {123999, 50.0f, LineFigure::Star, 15},   {5000, 79.99f, LineFigure::Tendrils, 0},
      {5000, 80.0f, LineFigure::None, 0},       {2000, 85.0f, LineFigure::None, 0},
      {5000, 88.0f, LineFigure::Tendrils, 0},   {2000, 88.0f, LineFigure::Star, 0},
  };
  for (const Case& c : cases) {
    FigureChoice got = chooseFigure(c.t, c.tick);
    EXPECT_EQ(got.figure, c.figure) << "tick " << c.tick << " t " << c.t;
    if (c.figure != LineFigure::None) {
      EXPECT_EQ(got.seed, c.seed) << "tick " << c.tick;
    }
  }
}

TEST(Script, FiguresFollowTheTickInEveryFrame) {
  for (int32_t tick : {4000, 6500, 12000, 15999, 21000, 36001}) {
    int32_t p = tick / 4000;
    LineFigure fig = p % 2 ? LineFigure::Tendrils : LineFigure::Star;
    // Step 2, 5 s in: part of the text shown.
    expectFrame(scriptFrame(25.0, tick), 2, 1.0f, textSegments(2) * 5000 / 6000, fig, p / 2, tick);
  }
}

TEST(Script, SilentMusicMeansNoTextAndOnlyTendrils) {
  // With no music voice the music time reads 0 in every frame.
  for (int32_t tick = 0; tick < 40000; tick += 1000) {
    Frame f = scriptFrame(0.0, tick);
    int32_t p = tick / 4000;
    EXPECT_EQ(f.emission, 0);
    if (p % 2 == 0) {
      EXPECT_EQ(f.vertexCount, 0) << tick;
    } else {
      expectFrame(f, 0, 1.0f, 0, LineFigure::Tendrils, p / 2, tick);
    }
  }
}

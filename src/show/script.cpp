// The show script: the credits of each ten-second slot written on stroke by stroke, the
// fountain's emission window and the alternating line figure.
#include "show/script.h"

#include "fx/tendrils.h"
#include "text/layout.h"
#include "text/star.h"

namespace {

struct TextLine {
  const char* text;
  float x;
  float z;
  float scale;
};

struct ScriptStep {
  int lineCount;
  TextLine lines[4];
};

const int SCRIPT_STEPS = 12;
// The texts are complete this far into their slot.
const int REVEAL_MS = 6000;
const int FIGURE_PERIOD_MS = 4000;

// Twelve ten-second steps, 120 s of music; each line starts at its own x.
const ScriptStep scriptSteps[SCRIPT_STEPS] = {
    {0, {}},
    {1, {{"Yet again..", -65.0f, 20.0f, 1.0f}}},
    {2, {{"First release", -60.0f, 0.0f, 0.8f}, {"of the year..", -60.0f, 30.0f, 0.8f}}},
    {0, {}},
    {2, {{"Let's do the", -60.0f, 0.0f, 0.8f}, {"Credits:", -60.0f, 30.0f, 1.0f}}},
    {2, {{"Code by:", -60.0f, 0.0f, 1.0f}, {"pUoVERLaqGeko", -60.0f, 30.0f, 0.75f}}},
    {2, {{"Music by:", -60.0f, 0.0f, 1.0f}, {"mOUAAvel", -60.0f, 30.0f, 1.0f}}},
    {2, {{"Font by:", -60.0f, 0.0f, 1.0f}, {"R.T. Quimbly", -60.0f, 30.0f, 0.8f}}},
    {2, {{"zOOv 2019", -60.0f, 0.0f, 1.0f}, {"is dead", -60.0f, 30.0f, 1.25f}}},
    {2, {{"Long Live", -60.0f, 0.0f, 1.0f}, {"zOOv 2020!", -60.0f, 30.0f, 0.9f}}},
    {4,
     {{"demo", -60.0f, -30.0f, 1.0f},
      {"release", -60.0f, 0.0f, 1.0f},
      {"00:00:00", -60.0f, 30.0f, 1.0f},
      {"1.1.2020", -60.0f, 60.0f, 1.0f}}},
    {0, {}},
};

}  // namespace

int emissionAt(float t) { return (t >= 80.0f && t < 88.0f) ? 1 : 0; }

FigureChoice chooseFigure(float t, int32_t tick) {
  if (t >= 80.0f && t < 88.0f) return {LineFigure::None, 0};
  int32_t period = tick / FIGURE_PERIOD_MS;
  int32_t seed = period / 2;
  if (period % 2 != 0) return {LineFigure::Tendrils, seed};
  // The star waits for the music to get going; the tendrils do not.
  if (t > 16.0f) return {LineFigure::Star, seed};
  return {LineFigure::None, seed};
}

int runScript(Show& show, const FrameClock& clock, int32_t tick) {
  LineBatch& lines = show.lines;
  int32_t step = clock.slot % SCRIPT_STEPS;
  if (step < 0) step += SCRIPT_STEPS;
  const ScriptStep& texts = scriptSteps[step];
  for (int i = 0; i < texts.lineCount; ++i) {
    const TextLine& line = texts.lines[i];
    drawText(lines, line.text, line.x, line.z, line.scale, clock.fade);
  }

  // Write-on: keep the first segments in append order, growing linearly over the first
  // six seconds of the slot. Before any figure, so figures are never cut.
  int32_t segments = lines.vertexCount / 8;
  int32_t shown = segments * clock.timeInSlot / REVEAL_MS;
  if (shown > segments) shown = segments;
  lines.vertexCount = shown * 8;
  lines.indexCount = shown * 12;

  FigureChoice figure = chooseFigure(clock.t, tick);
  if (figure.figure == LineFigure::Tendrils) {
    drawTendrils(lines, show.figureRng, show.tendrilShape, figure.seed, tick);
  }
  if (figure.figure == LineFigure::Star) {
    drawJaggedStar(lines, show.starRng, show.starShape, figure.seed, tick);
  }
  return emissionAt(clock.t);
}

// The glow, worked out from the sharp scene's own texels with exact weights, so that it
// is the same on every driver: nothing here goes through a driver's texture filtering or
// its generated mipmaps, which round differently (Mesa's llvmpipe rounds each halfway
// average up, and its generated levels drift above the true means, level after level).
// The glow is wide and soft, so it is worked out on a coarse grid of cells, kept in the
// bottom-left 256 x 128 corner of each blur target:
// - first pass (horizontal = 1): each cell's exact mean, from the 8 x 16 texels it covers;
// - second pass (horizontal = 0): a Gaussian across the cells, sideways and upward, the
//   same on both sides of each cell.
// The compose pass interpolates the cells bilinearly, again with exact weights.
// Alpha carries the figures' share of the light along (see lines.vs).
#version 330 core
in vec2 vUv;
uniform sampler2D tex;
uniform int horizontal;
out vec4 colour;
// A cell is 8 scene texels wide and 16 tall: the target is shown stretched to 16:9, so a
// cell is about square on screen.
const ivec2 CELL = ivec2(8, 16);
const ivec2 CELLS = ivec2(256, 128);   // 2048 / CELL
// A spread-out glow is faint: the first pass stores it at twice its strength, so that
// 8 bits still resolve it (compose.fs divides it out again).
const float BLUR_GAIN = 2.0;
// The Gaussian's deviation in cells: 16 texels across, 22.6 upward (15 and 12 pixels of a
// 1080-line picture), reaching 2.5 deviations.
const float SIGMA_X = 2.0;
const float SIGMA_Y = 1.41;
const int REACH_X = 5;
const int REACH_Y = 4;

float gauss(float d, float sigma) { return exp(-0.5 * (d * d) / (sigma * sigma)); }

void main() {
  ivec2 cell = ivec2(gl_FragCoord.xy);
  // Nothing outside the corner is ever read: those texels are left as they are, and a
  // rasteriser that shades blocks of pixels together skips whole blocks of them.
  if (cell.x >= CELLS.x || cell.y >= CELLS.y) discard;
  if (horizontal == 1) {
    vec4 sum = vec4(0.0);
    for (int j = 0; j < CELL.y; ++j)
      for (int i = 0; i < CELL.x; ++i)
        sum += texelFetch(tex, cell * CELL + ivec2(i, j), 0);
    colour = sum * (BLUR_GAIN / float(CELL.x * CELL.y));
  } else {
    vec4 sum = vec4(0.0);
    float total = 0.0;
    for (int j = -REACH_Y; j <= REACH_Y; ++j) {
      vec4 row = vec4(0.0);
      float rowTotal = 0.0;
      for (int i = -REACH_X; i <= REACH_X; ++i) {
        float w = gauss(float(i), SIGMA_X);
        // The edges are held, not wrapped: the top of the picture does not glow at its
        // bottom.
        row += texelFetch(tex, clamp(cell + ivec2(i, j), ivec2(0), CELLS - 1), 0) * w;
        rowTotal += w;
      }
      float up = gauss(float(j), SIGMA_Y);
      sum += row * up;
      total += rowTotal * up;
    }
    colour = sum / total;
  }
}

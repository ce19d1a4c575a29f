// Matrix and vector operations and the frame's camera recipe: exact bits where the show
// fixes them, closed-form values in double where it does not.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "fx/math.h"

namespace {

uint32_t bitsOf(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

mat4 fromRows(const float rows[4][4]) {
  mat4 m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m[4 * c + r] = rows[r][c];
  return m;
}

void expectSame(const mat4& a, const mat4& b) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bitsOf(a[i]), bitsOf(b[i])) << "element " << i;
}

void expectNear(const mat4& a, const mat4& b, float tol) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

// Transforms a point (x, y, z, 1) by a column-major matrix, in double.
void apply(const mat4& m, const double p[4], double out[4]) {
  for (int r = 0; r < 4; ++r) {
    out[r] = 0;
    for (int c = 0; c < 4; ++c) out[r] += (double)m[4 * c + r] * p[c];
  }
}

}  // namespace

TEST(FloatSqrt, RoundsTheDoubleRoot) {
  EXPECT_EQ(floatSqrt(4.0f), 2.0f);
  EXPECT_EQ(floatSqrt(0.0f), 0.0f);
  EXPECT_EQ(floatSqrt(2.0f), (float)1.4142135623730951);
  EXPECT_EQ(floatSqrt(26725.0f), (float)std::sqrt(26725.0));
}

TEST(MatMultiply, ColumnMajorProduct) {
  const float ra[4][4] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}};
  const float rb[4][4] = {{2, 0, 1, 0}, {0, 1, 0, 3}, {1, 0, 0, 1}, {0, 2, 1, 0}};
  // The row-by-column product written out by hand.
  const float rp[4][4] = {{5, 10, 5, 9}, {17, 22, 13, 25}, {29, 34, 21, 41}, {41, 46, 29, 57}};
  mat4 a = fromRows(ra), b = fromRows(rb), out;
  mat4& ret = matMultiply(out, a, b);
  EXPECT_EQ(&ret, &out);
  expectSame(out, fromRows(rp));
}

TEST(MatMultiply, TranslationActsOnColumnThree) {
  mat4 t = identityMatrix();
  t[12] = 3.0f;
  t[13] = -1.0f;
  t[14] = 0.5f;
  mat4 s = identityMatrix();
  s[5] = -1.0f;
  mat4 ts;
  matMultiply(ts, t, s);  // scale first, then translate
  const double p[4] = {1, 2, 3, 1};
  double q[4];
  apply(ts, p, q);
  EXPECT_EQ(q[0], 4.0);
  EXPECT_EQ(q[1], -3.0);
  EXPECT_EQ(q[2], 3.5);
  EXPECT_EQ(q[3], 1.0);
}

TEST(MatMultiply, OutMayAliasEitherInput) {
  mat4 a, b;
  for (int i = 0; i < 16; ++i) {
    a[i] = 0.1f * (float)(i + 1) - 0.7f;
    b[i] = 1.3f - 0.05f * (float)(i * i);
  }
  mat4 separate;
  matMultiply(separate, a, b);

  mat4 outA = a;
  matMultiply(outA, outA, b);
  expectSame(outA, separate);

  mat4 outB = b;
  matMultiply(outB, a, outB);
  expectSame(outB, separate);

  mat4 square;
  matMultiply(square, a, a);
  mat4 both = a;
  matMultiply(both, both, both);
  expectSame(both, square);
}

TEST(LookAt, ShowCameraAtRest) {
  mat4 v;
  mat4& ret = lookAt(v, vec3{0, 45, 150}, vec3{0, -20, 0}, vec3{0, 1, 0});
  EXPECT_EQ(&ret, &v);
  const double len = std::sqrt(65.0 * 65.0 + 150.0 * 150.0);
  // Row 0: the side vector, exactly +x, through an eye on the x = 0 plane. Row 1: up,
  // perpendicular to the view direction. Row 2: minus the view direction, the normalised
  // (65, 150). A tolerance of 0 asks for the exact float.
  const double rows[4][4] = {{1, 0, 0, 0},
                             {0, 150.0 / len, -65.0 / len, 3000.0 / len},
                             {0, 65.0 / len, 150.0 / len, -25425.0 / len},
                             {0, 0, 0, 1}};
  const double tolerance[4][4] = {
      {0, 0, 0, 0}, {0, 1e-6, 1e-6, 1e-4}, {0, 1e-6, 1e-6, 1e-4}, {0, 0, 0, 0}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(v[4 * c + r], rows[r][c], tolerance[r][c]) << "row " << r << " column " << c;
}

TEST(LookAt, EyeGoesToOriginCentreToMinusZ) {
  vec3 eye{12.0f, 50.0f, 150.0f};
  mat4 v;
  lookAt(v, eye, vec3{0, -20, 0}, vec3{0, 1, 0});
  const double e[4] = {eye.x, eye.y, eye.z, 1};
  double q[4];
  apply(v, e, q);
  EXPECT_NEAR(q[0], 0.0, 1e-4);
  EXPECT_NEAR(q[1], 0.0, 1e-4);
  EXPECT_NEAR(q[2], 0.0, 1e-4);
  const double c[4] = {0, -20, 0, 1};
  apply(v, c, q);
  double dist = std::sqrt(12.0 * 12.0 + 70.0 * 70.0 + 150.0 * 150.0);
  EXPECT_NEAR(q[0], 0.0, 1e-4);
  EXPECT_NEAR(q[1], 0.0, 1e-4);
  EXPECT_NEAR(q[2], -dist, 1e-3);
}

TEST(Rotate, QuarterTurnOfTheFloor) {
  mat4 r;
  mat4& ret = rotate(r, identityMatrix(), 0.785f, vec3{0, 1, 0});
  EXPECT_EQ(&ret, &r);
  float c = (float)std::cos((double)0.785f);
  float s = (float)std::sin((double)0.785f);
  // Row 1 and column 1 untouched.
  const float rows[4][4] = {{c, 0, s, 0}, {0, 1, 0, 0}, {-s, 0, c, 0}, {0, 0, 0, 1}};
  expectSame(r, fromRows(rows));
}

TEST(Rotate, RightHandedAboutZ) {
  mat4 r;
  rotate(r, identityMatrix(), 0.5f, vec3{0, 0, 1});
  const double x[4] = {1, 0, 0, 1};
  double q[4];
  apply(r, x, q);
  EXPECT_NEAR(q[0], std::cos(0.5), 1e-7);
  EXPECT_NEAR(q[1], std::sin(0.5), 1e-7);
  EXPECT_NEAR(q[2], 0.0, 1e-7);
}

TEST(Rotate, NonUnitAxisIsNormalised) {
  mat4 unit, twice;
  rotate(unit, identityMatrix(), 1.1f, vec3{0, 1, 0});
  rotate(twice, identityMatrix(), 1.1f, vec3{0, 2, 0});
  expectSame(twice, unit);

  mat4 skew, skewUnit;
  rotate(skew, identityMatrix(), 0.7f, vec3{1, 2, 3});
  float n = (float)std::sqrt(14.0);
  rotate(skewUnit, identityMatrix(), 0.7f, vec3{1.0f / n, 2.0f / n, 3.0f / n});
  expectNear(skew, skewUnit, 1e-6f);
  // The axis itself stays put.
  const double axis[4] = {1, 2, 3, 1};
  double q[4];
  apply(skew, axis, q);
  EXPECT_NEAR(q[0], 1.0, 1e-5);
  EXPECT_NEAR(q[1], 2.0, 1e-5);
  EXPECT_NEAR(q[2], 3.0, 1e-5);
}

TEST(Rotate, MultipliesOnTheRightAndKeepsTranslation) {
  mat4 m;
  for (int i = 0; i < 16; ++i) m[i] = 0.25f * (float)(i % 5) - 0.3f * (float)(i / 5);
  mat4 r, rm;
  rotate(r, identityMatrix(), 0.9f, vec3{0.3f, -1.0f, 0.2f});
  rotate(rm, m, 0.9f, vec3{0.3f, -1.0f, 0.2f});
  mat4 product;
  matMultiply(product, m, r);
  expectNear(rm, product, 1e-6f);
  for (int i = 12; i < 16; ++i) EXPECT_EQ(rm[i], m[i]);

  mat4 aliased = m;
  rotate(aliased, aliased, 0.9f, vec3{0.3f, -1.0f, 0.2f});
  expectSame(aliased, rm);
}

TEST(FrameMatrices, ProjectionFor960x540) {
  FrameMatrices f;
  buildFrameMatrices(f, 0, 960, 540);
  EXPECT_EQ(bitsOf(f.P[10]), 0xBF80419Au);
  EXPECT_EQ(bitsOf(f.P[14]), 0xC00020CDu);
  EXPECT_EQ(f.P[11], -1.0f);
  EXPECT_EQ(f.P[15], 0.0f);
  for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13}) EXPECT_EQ(f.P[i], 0.0f) << i;
  EXPECT_NEAR(f.P[5], 1.0 / std::tan(0.3925), 1e-5);
  EXPECT_FLOAT_EQ(f.P[0], f.P[5] / 1.7777778f);
  EXPECT_NEAR(f.P[0], 540.0 / 960.0 / std::tan(0.3925), 1e-5);
}

TEST(FrameMatrices, ModelAndMirror) {
  FrameMatrices f;
  buildFrameMatrices(f, 1234, 960, 540);
  mat4 r;
  rotate(r, identityMatrix(), 0.785f, vec3{0, 1, 0});
  expectSame(f.R, r);
  mat4 t = identityMatrix();
  t[13] = -1.0f;
  expectSame(f.T, t);
  mat4 s = identityMatrix();
  s[5] = -1.0f;
  expectSame(f.S, s);
  mat4 t2 = identityMatrix();
  t2[13] = -0.5f;
  expectSame(f.T2, t2);
}

TEST(FrameMatrices, ProductsChainLeftToRight) {
  FrameMatrices f;
  buildFrameMatrices(f, 98765, 1920, 1080);
  mat4 m;
  matMultiply(m, f.P, f.V);
  matMultiply(m, m, f.T);
  expectSame(f.linesMvp, m);
  matMultiply(m, m, f.R);
  expectSame(f.floorMvp, m);
  matMultiply(m, f.P, f.T);
  matMultiply(m, m, f.T2);
  matMultiply(m, m, f.V);
  matMultiply(m, m, f.S);
  expectSame(f.mirrorLinesMvp, m);
  matMultiply(m, f.V, f.S);
  expectSame(f.mirrorSpritesView, m);
}

TEST(FrameMatrices, CameraAtTickZeroIsTheRestingEye) {
  FrameMatrices f;
  buildFrameMatrices(f, 0, 960, 540);
  mat4 v;
  lookAt(v, vec3{0, 45, 150}, vec3{0, -20, 0}, vec3{0, 1, 0});
  expectSame(f.V, v);
}

TEST(FrameMatrices, CameraSways) {
  // A quarter of the sideways period: sin(tick * 3.45e-5) = 1 near tick 45530.
  const int32_t tick = 45530;
  FrameMatrices f;
  buildFrameMatrices(f, tick, 960, 540);
  double ex = 20.0 * std::sin(tick * 3.45e-5);
  double ey = 15.0 * std::sin(tick * 1e-4) + 45.0;
  // The eye is where the view matrix sends to the origin: eye = -R^T t.
  double eye[3];
  for (int c = 0; c < 3; ++c) {
    eye[c] = 0;
    for (int r = 0; r < 3; ++r) eye[c] -= (double)f.V[4 * c + r] * (double)f.V[12 + r];
  }
  EXPECT_NEAR(eye[0], ex, 1e-3);
  EXPECT_NEAR(eye[1], ey, 1e-3);
  EXPECT_NEAR(eye[2], 150.0, 1e-3);
  EXPECT_GT(ex, 19.99);
}

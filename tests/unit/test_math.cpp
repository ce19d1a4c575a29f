// Matrix and vector operations and the frame's camera recipe: exact bits where the show
// fixes them, closed-form values in double where it does not.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>

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

// The identity with the given (index, value) elements replaced.
mat4 identityWith(std::initializer_list<std::pair<int, float>> elements) {
  mat4 m = identityMatrix();
  for (const auto& e : elements) m[e.first] = e.second;
  return m;
}

void expectSame(const mat4& a, const mat4& b) {
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bitsOf(a[i]), bitsOf(b[i])) << "element " << i;
}

void expectNear(const mat4& a, const mat4& b, float tol) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tol) << "element " << i;
}

using Point = std::array<double, 3>;

// The column-major matrix sends the point p (w = 1) to `want` (w = 1), worked in double.
void expectMaps(const mat4& m, const Point& p, const Point& want, double tol) {
  const double in[4] = {p[0], p[1], p[2], 1.0}, expected[4] = {want[0], want[1], want[2], 1.0};
  for (int r = 0; r < 4; ++r) {
    double out = 0;
    for (int c = 0; c < 4; ++c) out += (double)m[4 * c + r] * in[c];
    EXPECT_NEAR(out, expected[r], tol) << "row " << r;
  }
}

const vec3 REST_EYE{0, 45, 150}, CENTRE{0, -20, 0}, UP{0, 1, 0};

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
  mat4 out;
  EXPECT_EQ(&matMultiply(out, fromRows(ra), fromRows(rb)), &out);
  expectSame(out, fromRows(rp));
}

TEST(MatMultiply, TranslationActsOnColumnThree) {
  mat4 ts;
  // Scale first, then translate.
  matMultiply(ts, identityWith({{12, 3.0f}, {13, -1.0f}, {14, 0.5f}}), identityWith({{5, -1.0f}}));
  expectMaps(ts, {1, 2, 3}, {4, -3, 3.5}, 0.0);
}

TEST(MatMultiply, OutMayAliasEitherInput) {
  mat4 a, b;
  for (int i = 0; i < 16; ++i) {
    a[i] = 0.1f * (float)(i + 1) - 0.7f;
    b[i] = 1.3f - 0.05f * (float)(i * i);
  }
  mat4 separate, square;
  matMultiply(separate, a, b);
  matMultiply(square, a, a);
  mat4 outA = a, outB = b, both = a;
  expectSame(matMultiply(outA, outA, b), separate);
  expectSame(matMultiply(outB, a, outB), separate);
  expectSame(matMultiply(both, both, both), square);
}

TEST(LookAt, ShowCameraAtRest) {
  mat4 v;
  EXPECT_EQ(&lookAt(v, REST_EYE, CENTRE, UP), &v);
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
  mat4 v;
  lookAt(v, vec3{12.0f, 50.0f, 150.0f}, CENTRE, UP);
  expectMaps(v, {12, 50, 150}, {0, 0, 0}, 1e-4);
  expectMaps(v, {0, -20, 0}, {0, 0, -std::sqrt(12.0 * 12.0 + 70.0 * 70.0 + 150.0 * 150.0)}, 1e-4);
}

TEST(Rotate, QuarterTurnOfTheFloor) {
  mat4 r;
  EXPECT_EQ(&rotate(r, identityMatrix(), 0.785f, vec3{0, 1, 0}), &r);
  float c = (float)std::cos((double)0.785f);
  float s = (float)std::sin((double)0.785f);
  // Row 1 and column 1 untouched.
  const float rows[4][4] = {{c, 0, s, 0}, {0, 1, 0, 0}, {-s, 0, c, 0}, {0, 0, 0, 1}};
  expectSame(r, fromRows(rows));
}

TEST(Rotate, RightHandedAboutZ) {
  mat4 r;
  rotate(r, identityMatrix(), 0.5f, vec3{0, 0, 1});
  expectMaps(r, {1, 0, 0}, {std::cos(0.5), std::sin(0.5), 0}, 1e-7);
}

TEST(Rotate, NonUnitAxisIsNormalised) {
  mat4 unit, twice;
  rotate(unit, identityMatrix(), 1.1f, vec3{0, 1, 0});
  expectSame(rotate(twice, identityMatrix(), 1.1f, vec3{0, 2, 0}), unit);

  mat4 skew, skewUnit;
  rotate(skew, identityMatrix(), 0.7f, vec3{1, 2, 3});
  float n = (float)std::sqrt(14.0);
  rotate(skewUnit, identityMatrix(), 0.7f, vec3{1.0f / n, 2.0f / n, 3.0f / n});
  expectNear(skew, skewUnit, 1e-6f);
  expectMaps(skew, {1, 2, 3}, {1, 2, 3}, 1e-5);  // the axis itself stays put
}

TEST(Rotate, MultipliesOnTheRightAndKeepsTranslation) {
  mat4 m;
  for (int i = 0; i < 16; ++i) m[i] = 0.25f * (float)(i % 5) - 0.3f * (float)(i / 5);
  const vec3 axis{0.3f, -1.0f, 0.2f};
  mat4 r, rm, product;
  rotate(r, identityMatrix(), 0.9f, axis);
  rotate(rm, m, 0.9f, axis);
  expectNear(rm, matMultiply(product, m, r), 1e-6f);
  for (int i = 12; i < 16; ++i) EXPECT_EQ(rm[i], m[i]);

  mat4 aliased = m;
  expectSame(rotate(aliased, aliased, 0.9f, axis), rm);
}

TEST(FrameMatrices, ProjectionHasThePicturesShapeOnEveryScreen) {
  FrameMatrices f;
  buildFrameMatrices(f, 0);
  EXPECT_EQ(bitsOf(f.P[10]), 0xBF80419Au);
  EXPECT_EQ(bitsOf(f.P[14]), 0xC00020CDu);
  EXPECT_EQ(f.P[11], -1.0f);
  EXPECT_EQ(f.P[15], 0.0f);
  for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13}) EXPECT_EQ(f.P[i], 0.0f) << i;
  EXPECT_NEAR(f.P[5], 1.0 / std::tan(0.3925), 1e-5);
  EXPECT_FLOAT_EQ(f.P[0], f.P[5] / 1.7777778f);
  EXPECT_NEAR(f.P[0], 540.0 / 960.0 / std::tan(0.3925), 1e-5);
  // A 16:9 window's own aspect is this same float, so such windows draw bit for bit as
  // when the projection took the window's shape.
  for (auto [w, h] : {std::pair{960, 540}, {1920, 1080}, {1280, 720}, {3840, 2160}})
    EXPECT_EQ(bitsOf((float)w / (float)h), bitsOf(PICTURE_ASPECT)) << w << "x" << h;
}

TEST(FrameMatrices, FixedModelAndMirrorAndTheRestingCameraAtTickZero) {
  mat4 r, v;
  rotate(r, identityMatrix(), 0.785f, vec3{0, 1, 0});
  for (int32_t tick : {0, 1234}) {
    SCOPED_TRACE(testing::Message() << "tick " << tick);
    FrameMatrices f;
    buildFrameMatrices(f, tick);
    expectSame(f.R, r);
    expectSame(f.T, identityWith({{13, -1.0f}}));
    expectSame(f.S, identityWith({{5, -1.0f}}));
    expectSame(f.T2, identityWith({{13, -0.5f}}));
    if (tick == 0) expectSame(f.V, lookAt(v, REST_EYE, CENTRE, UP));
  }
}

TEST(FrameMatrices, ProductsChainLeftToRight) {
  FrameMatrices f;
  buildFrameMatrices(f, 98765);
  mat4 m;
  matMultiply(m, f.P, f.V);
  expectSame(f.linesMvp, matMultiply(m, m, f.T));
  expectSame(f.floorMvp, matMultiply(m, m, f.R));
  matMultiply(m, f.P, f.T);
  matMultiply(m, m, f.T2);
  matMultiply(m, m, f.V);
  expectSame(f.mirrorLinesMvp, matMultiply(m, m, f.S));
  expectSame(f.mirrorSpritesView, matMultiply(m, f.V, f.S));
}

TEST(FrameMatrices, CameraSways) {
  // A quarter of the sideways period: sin(tick * 3.45e-5) = 1 near tick 45530.
  const int32_t tick = 45530;
  FrameMatrices f;
  buildFrameMatrices(f, tick);
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

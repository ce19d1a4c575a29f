// Single-precision vectors and column-major 4x4 matrices, and the frame's camera recipe.
#pragma once
#include <cstdint>

struct vec3 {
  float x, y, z;
};

// Column-major: element (row r, column c) is m[4c + r]; sent to GL untransposed.
struct mat4 {
  float m[16];
  float& operator[](int i) { return m[i]; }
  float operator[](int i) const { return m[i]; }
};

// The square root in double precision, rounded to float.
float floatSqrt(float x);
// out = a * b; out may alias a or b.
mat4& matMultiply(mat4& out, const mat4& a, const mat4& b);
mat4& lookAt(mat4& out, const vec3& eye, const vec3& centre, const vec3& up);
// out = m * R(angle, axis); out may alias m.
mat4& rotate(mat4& out, const mat4& m, float angle, const vec3& axis);

mat4 identityMatrix();

// Everything the passes hand to the programs in one frame.
struct FrameMatrices {
  mat4 V, P, R, T, S, T2;
  mat4 floorMvp;           // P V T R
  mat4 linesMvp;           // P V T
  mat4 mirrorLinesMvp;     // P T T2 V S
  mat4 mirrorSpritesView;  // V S
};

// The picture's own shape, 16/9 rounded to float: the letterbox keeps it on every screen, and
// the projection uses it too, so that nothing is stretched inside the bars.
constexpr float PICTURE_ASPECT = 1.7777778f;

void buildFrameMatrices(FrameMatrices& out, int32_t tick);

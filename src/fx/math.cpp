// Matrix and vector operations and the frame recipe, in the precisions the show fixes:
// single precision throughout, sin/cos/tan in double on widened floats.
#include "fx/math.h"

#include <cmath>

float floatSqrt(float x) { return (float)std::sqrt((double)x); }

static float fsin(float a) { return (float)std::sin((double)a); }
static float fcos(float a) { return (float)std::cos((double)a); }

mat4 identityMatrix() {
  mat4 m{};
  m[0] = m[5] = m[10] = m[15] = 1.0f;
  return m;
}

mat4& matMultiply(mat4& out, const mat4& a, const mat4& b) {
  mat4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      float sum = a[j] * b[4 * i];
      sum += a[4 + j] * b[4 * i + 1];
      sum += a[8 + j] * b[4 * i + 2];
      sum += a[12 + j] * b[4 * i + 3];
      r[4 * i + j] = sum;
    }
  }
  out = r;
  return out;
}

mat4& lookAt(mat4& out, const vec3& eye, const vec3& centre, const vec3& up) {
  vec3 f = {centre.x - eye.x, centre.y - eye.y, centre.z - eye.z};
  float fl = 1.0f / floatSqrt(f.x * f.x + f.y * f.y + f.z * f.z);
  f = {f.x * fl, f.y * fl, f.z * fl};
  vec3 s = {f.y * up.z - f.z * up.y, f.z * up.x - f.x * up.z, f.x * up.y - f.y * up.x};
  float sl = 1.0f / floatSqrt(s.x * s.x + s.y * s.y + s.z * s.z);
  s = {s.x * sl, s.y * sl, s.z * sl};
  vec3 u = {s.y * f.z - s.z * f.y, s.z * f.x - s.x * f.z, s.x * f.y - s.y * f.x};
  out[0] = s.x;
  out[4] = s.y;
  out[8] = s.z;
  out[1] = u.x;
  out[5] = u.y;
  out[9] = u.z;
  out[2] = -f.x;
  out[6] = -f.y;
  out[10] = -f.z;
  out[12] = -(s.x * eye.x + s.y * eye.y + s.z * eye.z);
  out[13] = -(u.x * eye.x + u.y * eye.y + u.z * eye.z);
  out[14] = f.x * eye.x + f.y * eye.y + f.z * eye.z;
  out[3] = out[7] = out[11] = 0.0f;
  out[15] = 1.0f;
  return out;
}

mat4& rotate(mat4& out, const mat4& m, float angle, const vec3& axis) {
  float c = fcos(angle);
  float s = fsin(angle);
  float il = 1.0f / floatSqrt(axis.x * axis.x + axis.y * axis.y + axis.z * axis.z);
  vec3 a = {axis.x * il, axis.y * il, axis.z * il};
  vec3 t = {(1.0f - c) * a.x, (1.0f - c) * a.y, (1.0f - c) * a.z};
  float R[3][3] = {
      {c + t.x * a.x, t.x * a.y + s * a.z, t.x * a.z - s * a.y},
      {t.y * a.x - s * a.z, c + t.y * a.y, t.y * a.z + s * a.x},
      {t.z * a.x + s * a.y, t.z * a.y - s * a.x, c + t.z * a.z},
  };
  mat4 r;
  for (int k = 0; k < 3; ++k) {
    for (int row = 0; row < 4; ++row) {
      r[4 * k + row] = m[row] * R[k][0] + m[4 + row] * R[k][1] + m[8 + row] * R[k][2];
    }
  }
  for (int row = 0; row < 4; ++row) r[12 + row] = m[12 + row];
  out = r;
  return out;
}

void buildFrameMatrices(FrameMatrices& out, int32_t tick) {
  double ticks = (double)tick;
  vec3 eye = {(float)(20.0 * std::sin(ticks * 3.45e-5)),
              (float)(15.0 * std::sin(ticks * 1e-4) + 45.0), 150.0f};
  lookAt(out.V, eye, vec3{0.0f, -20.0f, 0.0f}, vec3{0.0f, 1.0f, 0.0f});

  float t = (float)std::tan((double)0.3925f);
  // 960/540 and 1920/1080 round to this same float, so a 16:9 window draws as it always did.
  out.P = mat4{};
  out.P[0] = 1.0f / (PICTURE_ASPECT * t);
  out.P[5] = 1.0f / t;
  out.P[10] = -(1000.0f + 1.0f) / (1000.0f - 1.0f);
  out.P[11] = -1.0f;
  out.P[14] = -(2.0f * 1000.0f * 1.0f) / (1000.0f - 1.0f);

  rotate(out.R, identityMatrix(), 0.785f, vec3{0.0f, 1.0f, 0.0f});
  out.T = identityMatrix();
  out.T[13] = -1.0f;
  out.S = identityMatrix();
  out.S[5] = -1.0f;
  out.T2 = identityMatrix();
  out.T2[13] = -0.5f;

  matMultiply(out.floorMvp, out.P, out.V);
  matMultiply(out.floorMvp, out.floorMvp, out.T);
  matMultiply(out.floorMvp, out.floorMvp, out.R);
  matMultiply(out.linesMvp, out.P, out.V);
  matMultiply(out.linesMvp, out.linesMvp, out.T);
  matMultiply(out.mirrorLinesMvp, out.P, out.T);
  matMultiply(out.mirrorLinesMvp, out.mirrorLinesMvp, out.T2);
  matMultiply(out.mirrorLinesMvp, out.mirrorLinesMvp, out.V);
  matMultiply(out.mirrorLinesMvp, out.mirrorLinesMvp, out.S);
  matMultiply(out.mirrorSpritesView, out.V, out.S);
}

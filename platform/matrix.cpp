// Column-major 4 x 4 matrices, multiplied as OpenGL multiplies them.
#include "platform/matrix.h"

#include <cmath>

Matrix identityMatrix() {
  return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix out;
  for (int c = 0; c < 4; c++)
    for (int r = 0; r < 4; r++) {
      double s = 0;
      for (int k = 0; k < 4; k++) s += a.m[k * 4 + r] * b.m[c * 4 + k];
      out.m[c * 4 + r] = s;
    }
  return out;
}

Matrix translationMatrix(double x, double y, double z) {
  Matrix t = identityMatrix();
  t.m[12] = x;
  t.m[13] = y;
  t.m[14] = z;
  return t;
}

Matrix rotationMatrix(double deg, double ax, double ay, double az) {
  double a = deg * M_PI / 180.0, c = std::cos(a), s = std::sin(a), t = 1 - c;
  return {{t * ax * ax + c, t * ax * ay + s * az, t * ax * az - s * ay, 0, t * ax * ay - s * az,
           t * ay * ay + c, t * ay * az + s * ax, 0, t * ax * az + s * ay, t * ay * az - s * ax,
           t * az * az + c, 0, 0, 0, 0, 1}};
}

Matrix perspectiveMatrix(double fovy, double aspect, double zNear, double zFar) {
  double f = 1 / std::tan(fovy * M_PI / 360);
  return {{f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (zFar + zNear) / (zNear - zFar), -1, 0, 0,
           2 * zFar * zNear / (zNear - zFar), 0}};
}

Matrix orthoMatrix(double halfWidth, double halfHeight, double zNear, double zFar) {
  return {{1 / halfWidth, 0, 0, 0, 0, 1 / halfHeight, 0, 0, 0, 0, -2 / (zFar - zNear), 0, 0, 0,
           -(zFar + zNear) / (zFar - zNear), 1}};
}

Matrix matrixOf(const float m[16]) {
  Matrix out;
  for (int i = 0; i < 16; i++) out.m[i] = m[i];
  return out;
}

void transformDirection(const Matrix& m, const float v[3], double out[3]) {
  for (int r = 0; r < 3; r++) out[r] = m.m[r] * v[0] + m.m[4 + r] * v[1] + m.m[8 + r] * v[2];
}

void transformPoint(const Matrix& m, const double p[3], double out[3]) {
  for (int r = 0; r < 3; r++)
    out[r] = m.m[r] * p[0] + m.m[4 + r] * p[1] + m.m[8 + r] * p[2] + m.m[12 + r];
}

// Column-major 4 x 4 matrices in double precision, as OpenGL stores and multiplies them: the
// placement chain, the view-volume test, the fit and the web platform's OpenGL share these.
#pragma once

struct Matrix {
  double m[16]; // column-major: element (row r, column c) is m[c * 4 + r]
};

Matrix identityMatrix();
// a times b: b's transform applies first, as glMultMatrix(b) does on top of a.
Matrix multiply(const Matrix& a, const Matrix& b);
Matrix translationMatrix(double x, double y, double z);
// The matrix glRotate builds for `deg` degrees about the unit axis (ax, ay, az).
Matrix rotationMatrix(double deg, double ax, double ay, double az);
// The matrix gluPerspective builds: `fovy` degrees high, `aspect` wide per high, depth from
// `zNear` to `zFar`.
Matrix perspectiveMatrix(double fovy, double aspect, double zNear, double zFar);
// The matrix glOrtho builds: a box `halfWidth` x `halfHeight` about the view's axis, depth
// from `zNear` to `zFar` (either may be behind the eye).
Matrix orthoMatrix(double halfWidth, double halfHeight, double zNear, double zFar);
// A column-major float matrix, as glGetFloatv returns one.
Matrix matrixOf(const float m[16]);
// m times the point (x, y, z, 1); the first three results.
void transformPoint(const Matrix& m, const double p[3], double out[3]);
// m times the direction (x, y, z, 0): turned, not moved.
void transformDirection(const Matrix& m, const float v[3], double out[3]);

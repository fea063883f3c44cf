// Viewport and projection for a drawable size.
#include "view.h"

#include "frame.h"
#include "platform/matrix.h"
#include "world.h"

#include "platform/gl.h"

#include <cmath>

float fittedFar(double depth) {
  double farPlane = depth * 1.01 + 1;
  return farPlane > plainFar ? float(std::ceil(farPlane)) : 0;
}

double nearPlane(float farPlane) {
  return farPlane > plainFar ? double(farPlane) / 1000 : 1.0;
}

void viewProjection(int width, int height, float farPlane) {
  if (height < 1) height = 1;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, double(width) / double(height), nearPlane(farPlane),
                 farPlane > plainFar ? farPlane : 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void viewOrtho(int width, int height, float half, const float* trot, const SceneBox& box) {
  if (height < 1) height = 1;
  glViewport(0, 0, width, height);
  // The box's centre in eye space and its radius: every point of it lies within the radius of
  // the centre's depth, whatever the camera's turn.
  double c[3], r2 = 0;
  for (int a = 0; a < 3; a++) {
    c[a] = (box.lo[a] + box.hi[a]) / 2;
    r2 += (box.hi[a] - box.lo[a]) * (box.hi[a] - box.lo[a]) / 4;
  }
  double eye[3];
  transformPoint(cameraMatrix(trot), c, eye);
  double r = std::sqrt(r2) * 1.01 + 1, depth = -eye[2];
  Matrix m = orthoMatrix(double(half) * width / height, half, depth - r, depth + r);
  float f[16];
  for (int i = 0; i < 16; i++) f[i] = float(m.m[i]);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

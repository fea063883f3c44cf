// OpenGL and GLU stand-ins linked in place of the real libraries.
#include "gl_double.h"

#include "render/gl.h"

#include <cmath>
#include <cstring>

GlDouble glDouble;

namespace {

const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void add(Gl fn, double a = 0, double b = 0, double c = 0, double d = 0) {
  if (glDouble.record) glDouble.calls.push_back({fn, {a, b, c, d}});
}

double* current() {
  return glDouble.matrixMode == GL_PROJECTION ? glDouble.projection : glDouble.modelview;
}

void multiply(const double r[16]) {
  if (!glDouble.record) return;
  double* m = current();
  double out[16];
  for (int c = 0; c < 4; c++)
    for (int row = 0; row < 4; row++) {
      double s = 0;
      for (int k = 0; k < 4; k++) s += m[k * 4 + row] * r[c * 4 + k];
      out[c * 4 + row] = s;
    }
  std::memcpy(m, out, sizeof out);
}

} // namespace

void glDoubleReset() {
  glDouble.calls.clear();
  glDouble.vertices = 0;
  glDouble.matrixMode = GL_MODELVIEW;
  std::memcpy(glDouble.modelview, identity, sizeof identity);
  std::memcpy(glDouble.projection, identity, sizeof identity);
}

std::string glCallName(Gl fn) {
  static const char* names[] = {"glClear",        "glEnable",     "glViewport", "glMatrixMode",
                                "glLoadIdentity", "glTranslatef", "glRotatef",  "glBegin",
                                "glEnd",          "glColor3f",    "glVertex3f", "gluPerspective"};
  return names[int(fn)];
}

extern "C" {

void glClear(GLbitfield mask) {
  add(Gl::Clear, mask);
}
void glEnable(GLenum cap) {
  add(Gl::Enable, cap);
}
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  add(Gl::Viewport, x, y, w, h);
}
void glMatrixMode(GLenum mode) {
  glDouble.matrixMode = mode;
  add(Gl::MatrixMode, mode);
}
void glLoadIdentity() {
  std::memcpy(current(), identity, sizeof identity);
  add(Gl::LoadIdentity);
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  double t[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
  multiply(t);
  add(Gl::Translate, x, y, z);
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
  double ax = x / len, ay = y / len, az = z / len;
  double a = angle * M_PI / 180, c = std::cos(a), s = std::sin(a), t = 1 - c;
  double r[16] = {t * ax * ax + c,
                  t * ax * ay + s * az,
                  t * ax * az - s * ay,
                  0,
                  t * ax * ay - s * az,
                  t * ay * ay + c,
                  t * ay * az + s * ax,
                  0,
                  t * ax * az + s * ay,
                  t * ay * az - s * ax,
                  t * az * az + c,
                  0,
                  0,
                  0,
                  0,
                  1};
  multiply(r);
  add(Gl::Rotate, angle, x, y, z);
}
void glBegin(GLenum mode) {
  add(Gl::Begin, mode);
}
void glEnd() {
  add(Gl::End);
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
  add(Gl::Color, r, g, b);
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  glDouble.vertices++;
  add(Gl::Vertex, x, y, z);
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  double f = 1 / std::tan(fovy * M_PI / 360);
  double p[16] = {f / aspect,
                  0,
                  0,
                  0,
                  0,
                  f,
                  0,
                  0,
                  0,
                  0,
                  (zFar + zNear) / (zNear - zFar),
                  -1,
                  0,
                  0,
                  2 * zFar * zNear / (zNear - zFar),
                  0};
  multiply(p);
  add(Gl::Perspective, fovy, aspect, zNear, zFar);
}
}

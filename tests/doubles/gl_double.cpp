// OpenGL and GLU stand-ins linked in place of the real libraries.
#include "gl_double.h"

#include "platform/gl.h"
#include "render/frame.h"
#include "platform/matrix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

GlDouble glDouble;

namespace {

const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void add(Gl fn, double a = 0, double b = 0, double c = 0, double d = 0) {
  if (glDouble.record) glDouble.calls.push_back({fn, {a, b, c, d}});
}

// The immediate-mode primitive being sent: its kind, the current colour and its corners.
GLenum primitive = 0;
float colour[3];
std::vector<std::array<float, 3>> corners;

double* current() {
  return glDouble.matrixMode == GL_PROJECTION ? glDouble.projection : glDouble.modelview;
}

// The current matrix times `r`, as glMultMatrix does.
void multiply(const double r[16]) {
  if (!glDouble.record) return;
  Matrix a, b;
  std::memcpy(a.m, current(), sizeof a.m);
  std::memcpy(b.m, r, sizeof b.m);
  std::memcpy(current(), multiply(a, b).m, sizeof a.m);
}

constexpr GLenum arrayBufferTarget = 0x8892;

void APIENTRY genBuffers(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; i++) {
    glDouble.buffers.emplace_back();
    glDouble.live.push_back(true);
    names[i] = GLuint(glDouble.buffers.size());
  }
}
void APIENTRY bindBuffer(GLenum target, GLuint b) {
  if (target == arrayBufferTarget) glDouble.arrayBuffer = b;
}
void APIENTRY bufferData(GLenum target, ptrdiff_t size, const void* data, GLenum) {
  if (target != arrayBufferTarget || !glDouble.arrayBuffer) return;
  if (glDouble.uploadFails) {
    glDouble.pendingError = GL_OUT_OF_MEMORY;
    return;
  }
  const char* p = static_cast<const char*>(data);
  glDouble.buffers[glDouble.arrayBuffer - 1].assign(p, p + size);
  glDouble.uploadedBytes += long(size);
}
void APIENTRY bufferSubData(GLenum target, ptrdiff_t at, ptrdiff_t size, const void* data) {
  if (target != arrayBufferTarget || !glDouble.arrayBuffer) return;
  std::vector<char>& b = glDouble.buffers[glDouble.arrayBuffer - 1];
  if (at < 0 || size < 0 || size_t(at + size) > b.size()) {
    glDouble.pendingError = GL_INVALID_VALUE;
    return;
  }
  std::memcpy(b.data() + at, data, size_t(size));
  glDouble.replacedBytes += long(size);
  glDouble.subData.push_back({glDouble.arrayBuffer, long(at), long(size)});
}
void APIENTRY deleteBuffers(GLsizei n, const GLuint* names) {
  for (GLsizei i = 0; i < n; i++)
    if (names[i] && names[i] <= glDouble.buffers.size()) {
      std::vector<char>().swap(glDouble.buffers[names[i] - 1]);
      glDouble.live[names[i] - 1] = false;
    }
}

// Where a pointer set with buffer `b` bound points.
template <typename T> const T* resolve(unsigned b, const T* p) {
  if (!b) return p;
  const char* base = glDouble.buffers[b - 1].data();
  return reinterpret_cast<const T*>(base + reinterpret_cast<uintptr_t>(p));
}

} // namespace

void glDoubleNewContext(GlBuffers offers) {
  glDouble.buffers.clear();
  glDouble.live.clear();
  glDouble.arrayBuffer = 0;
  glDouble.offers = offers;
  glDouble.uploadFails = false;
  glDouble.texturesMade = 0;
  glDouble.texturesLive = 0;
  glDouble.textureBytes = 0;
  glDoubleReset();
}

int glDoubleLiveBuffers() {
  return int(std::count(glDouble.live.begin(), glDouble.live.end(), true));
}

void glDoubleReset() {
  glDouble.calls.clear();
  glDouble.vertexBuffer = glDouble.colorBuffer = 0;
  glDouble.uploadedBytes = glDouble.replacedBytes = glDouble.clientVertices = 0;
  glDouble.subData.clear();
  glDouble.pendingError = 0;
  glDouble.drawn.clear();
  glDouble.drawArraysAt.clear();
  glDouble.vertexArray = glDouble.colorArray = false;
  glDouble.vertices = 0;
  glDouble.matrixMode = GL_MODELVIEW;
  std::memcpy(glDouble.modelview, identity, sizeof identity);
  std::memcpy(glDouble.projection, identity, sizeof identity);
  glDouble.depthTest = glDouble.blend = glDouble.texture2d = false;
  glDouble.blendSrc = GL_ONE;
  glDouble.blendDst = GL_ZERO;
  glDouble.texture = 0;
  std::fill(glDouble.viewport, glDouble.viewport + 4, 0);
  glDouble.depthRange[0] = 0;
  glDouble.depthRange[1] = 1;
}

GlState glDoubleState() {
  GlState s;
  s.depthTest = glDouble.depthTest;
  s.blend = glDouble.blend;
  s.texture2d = glDouble.texture2d;
  s.blendSrc = glDouble.blendSrc;
  s.blendDst = glDouble.blendDst;
  s.texture = glDouble.texture;
  s.matrixMode = glDouble.matrixMode;
  std::memcpy(s.modelview, glDouble.modelview, sizeof s.modelview);
  std::memcpy(s.projection, glDouble.projection, sizeof s.projection);
  std::copy(glDouble.viewport, glDouble.viewport + 4, s.viewport);
  std::copy(glDouble.depthRange, glDouble.depthRange + 2, s.depthRange);
  return s;
}

std::string glCallName(Gl fn) {
  static const char* names[] = {"glClear",        "glEnable",      "glViewport",   "glMatrixMode",
                                "glLoadIdentity", "glTranslatef",  "glRotatef",    "glBegin",
                                "glEnd",          "glColor3f",     "glVertex3f",   "gluPerspective",
                                "glDrawArrays",   "glDisable",     "glBlendFunc",  "glColor4f",
                                "glTexCoord2f",   "glBindTexture", "glTexImage2D", "glPushMatrix",
                                "glPopMatrix",    "glDepthRange",  "glLoadMatrixf"};
  return names[int(fn)];
}

extern "C" {

void glClear(GLbitfield mask) {
  add(Gl::Clear, mask);
}
// The capability's flag in the double, or null for one it does not keep.
bool* capability(GLenum cap) {
  return cap == GL_DEPTH_TEST   ? &glDouble.depthTest
         : cap == GL_BLEND      ? &glDouble.blend
         : cap == GL_TEXTURE_2D ? &glDouble.texture2d
                                : nullptr;
}
void glEnable(GLenum cap) {
  if (bool* c = capability(cap)) *c = true;
  add(Gl::Enable, cap);
}
void glShadeModel(GLenum mode) {
  glDouble.flat = mode == GL_FLAT;
}
void glClipPlane(GLenum, const GLdouble* eq) {
  add(Gl::ClipPlane, eq[0], eq[1], eq[2], eq[3]);
}
void glDisable(GLenum cap) {
  if (bool* c = capability(cap)) *c = false;
  add(Gl::Disable, cap);
}
void glDepthRange(GLclampd zNear, GLclampd zFar) {
  glDouble.depthRange[0] = zNear;
  glDouble.depthRange[1] = zFar;
  add(Gl::DepthRange, zNear, zFar);
}
void glBlendFunc(GLenum src, GLenum dst) {
  glDouble.blendSrc = src;
  glDouble.blendDst = dst;
  add(Gl::BlendFunc, src, dst);
}
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  glDouble.viewport[0] = x;
  glDouble.viewport[1] = y;
  glDouble.viewport[2] = w;
  glDouble.viewport[3] = h;
  add(Gl::Viewport, x, y, w, h);
}
void glGenTextures(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; i++) names[i] = ++glDouble.texturesMade;
  glDouble.texturesLive += n;
}
void glDeleteTextures(GLsizei n, const GLuint* names) {
  for (GLsizei i = 0; i < n; i++) glDouble.texturesLive -= names[i] != 0;
}
void glBindTexture(GLenum, GLuint t) {
  glDouble.texture = t;
  add(Gl::BindTexture, t);
}
void glTexParameteri(GLenum, GLenum, GLint) {}
void glPixelStorei(GLenum, GLint) {}
// Reads a picture whose pixel (x, y) is (x, y, 7, 255) modulo 256: rows from the bottom, as GL
// does; RGBA bytes only, as WebGL.
void glReadPixels(GLint x0, GLint y0, GLsizei w, GLsizei h, GLenum format, GLenum type, void* out) {
  if (format != GL_RGBA || type != GL_UNSIGNED_BYTE) return;
  auto* p = static_cast<unsigned char*>(out);
  for (GLsizei y = 0; y < h; y++)
    for (GLsizei x = 0; x < w; x++, p += 4) {
      p[0] = static_cast<unsigned char>(x0 + x);
      p[1] = static_cast<unsigned char>(y0 + y);
      p[2] = 7;
      p[3] = 255;
    }
}
void glTexImage2D(GLenum, GLint, GLint, GLsizei w, GLsizei h, GLint, GLenum, GLenum, const void*) {
  glDouble.textureBytes += long(w) * h;
  add(Gl::TexImage, w, h);
}
// Each matrix mode's stack of saved matrices.
std::vector<std::array<double, 16>> saved[2];
void glPushMatrix() {
  std::array<double, 16> m;
  std::copy(current(), current() + 16, m.begin());
  saved[glDouble.matrixMode == GL_PROJECTION].push_back(m);
  add(Gl::PushMatrix);
}
void glPopMatrix() {
  auto& stack = saved[glDouble.matrixMode == GL_PROJECTION];
  if (!stack.empty()) {
    std::copy(stack.back().begin(), stack.back().end(), current());
    stack.pop_back();
  }
  add(Gl::PopMatrix);
}
void glTexCoord2f(GLfloat s, GLfloat t) {
  add(Gl::TexCoord, s, t);
}
void glMatrixMode(GLenum mode) {
  glDouble.matrixMode = mode;
  add(Gl::MatrixMode, mode);
}
void glLoadIdentity() {
  std::memcpy(current(), identity, sizeof identity);
  add(Gl::LoadIdentity);
}
void glLoadMatrixf(const GLfloat* m) {
  for (int i = 0; i < 16; i++) current()[i] = m[i];
  add(Gl::LoadMatrix);
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
  primitive = mode;
  corners.clear();
  add(Gl::Begin, mode);
}
void glEnd() {
  if (glDouble.record && primitive == GL_TRIANGLES)
    for (size_t t = 0; t + 2 < corners.size(); t += 3) {
      DrawnTriangle d{};
      for (int c = 0; c < 3; c++)
        for (int a = 0; a < 3; a++) d.v[c][a] = corners[t + size_t(c)][size_t(a)];
      for (int a = 0; a < 3; a++) d.rgb[a] = colourLevel(colour[a]);
      glDouble.drawn.push_back(d);
    }
  primitive = 0;
  add(Gl::End);
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
  colour[0] = r;
  colour[1] = g;
  colour[2] = b;
  add(Gl::Color, r, g, b);
}
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  colour[0] = r;
  colour[1] = g;
  colour[2] = b;
  add(Gl::Color4, r, g, b, a);
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  glDouble.vertices++;
  if (glDouble.record) corners.push_back({x, y, z});
  add(Gl::Vertex, x, y, z);
}
void glEnableClientState(GLenum array) {
  (array == GL_VERTEX_ARRAY ? glDouble.vertexArray : glDouble.colorArray) = true;
}
void glDisableClientState(GLenum array) {
  (array == GL_VERTEX_ARRAY ? glDouble.vertexArray : glDouble.colorArray) = false;
}
void glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
  if (size != 3 || type != GL_FLOAT || stride != 0) return;
  glDouble.vertexPointer = static_cast<const float*>(p);
  glDouble.vertexBuffer = glDouble.arrayBuffer;
}
void glColorPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
  if (size != 4 || type != GL_UNSIGNED_BYTE || stride != 0) return;
  glDouble.colorPointer = static_cast<const uint8_t*>(p);
  glDouble.colorBuffer = glDouble.arrayBuffer;
}
// Records the call and where its triangles start in `drawn` and, with both arrays enabled, the
// triangles it draws.
void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
  glDouble.vertices += count;
  add(Gl::DrawArrays, mode, first, count);
  if (glDouble.record) glDouble.drawArraysAt.push_back(glDouble.drawn.size());
  if (glDouble.vertexArray && !glDouble.vertexBuffer) glDouble.clientVertices += count;
  if (!glDouble.record || mode != GL_TRIANGLES || !glDouble.vertexArray || !glDouble.colorArray)
    return;
  const float* xyz = resolve(glDouble.vertexBuffer, glDouble.vertexPointer);
  const uint8_t* rgba = resolve(glDouble.colorBuffer, glDouble.colorPointer);
  for (GLint t = first; t + 2 < first + count; t += 3) {
    DrawnTriangle d{};
    for (int c = 0; c < 3; c++)
      for (int a = 0; a < 3; a++) d.v[c][a] = xyz[3 * (t + c) + a];
    std::copy(rgba + 4 * t, rgba + 4 * t + 3, d.rgb);
    glDouble.drawn.push_back(d);
  }
}
const GLubyte* glGetString(GLenum name) {
  const char* version[] = {"1.5 double", "1.4 double", "1.1 double"};
  const char* extensions = glDouble.offers == GlBuffers::arb
                               ? "GL_ARB_multitexture GL_ARB_vertex_buffer_object GL_EXT_bgra"
                               : "GL_ARB_multitexture GL_ARB_vertex_buffer_object_x GL_EXT_bgra";
  const char* s = name == GL_VERSION      ? version[int(glDouble.offers)]
                  : name == GL_EXTENSIONS ? extensions
                                          : "";
  return reinterpret_cast<const GLubyte*>(s);
}
GLenum glGetError() {
  GLenum e = glDouble.pendingError;
  glDouble.pendingError = GL_NO_ERROR;
  return e;
}
}

// The buffer-object calls under the names the context offers.
void* glProc(const char* name) {
  if (glDouble.offers == GlBuffers::none) return nullptr;
  std::string n = name, suffix = glDouble.offers == GlBuffers::arb ? "ARB" : "";
  if (n == "glGenBuffers" + suffix) return reinterpret_cast<void*>(genBuffers);
  if (n == "glBindBuffer" + suffix) return reinterpret_cast<void*>(bindBuffer);
  if (n == "glBufferData" + suffix) return reinterpret_cast<void*>(bufferData);
  if (n == "glDeleteBuffers" + suffix) return reinterpret_cast<void*>(deleteBuffers);
  if (n == "glBufferSubData" + suffix) return reinterpret_cast<void*>(bufferSubData);
  return nullptr;
}
extern "C" {
void glGetFloatv(GLenum name, GLfloat* out) {
  const double* m = name == GL_PROJECTION_MATRIX ? glDouble.projection : glDouble.modelview;
  for (int i = 0; i < 16; i++) out[i] = float(m[i]);
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  multiply(perspectiveMatrix(fovy, aspect, zNear, zFar).m);
  add(Gl::Perspective, fovy, aspect, zNear, zFar);
}
}

// The OpenGL 1.1 subset the renderer uses, over WebGL: the matrix stack's two matrices,
// gluPerspective, immediate-mode triangles and lines, vertex and colour arrays from client
// memory or from buffer objects, drawn with one small shader. Matrices are kept as OpenGL
// keeps them (column-major, each call multiplied on the right). Immediate-mode vertices are
// gathered with their colours and sent as one draw call per run between state changes; the
// real WebGL calls are emscripten's emscripten_gl* names.
#include "platform/gl.h"
#include "platform/webgl.h"
#include "platform/matrix.h"

#include <GLES2/gl2.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
void emscripten_glClear(GLbitfield);
void emscripten_glEnable(GLenum);
void emscripten_glViewport(GLint, GLint, GLsizei, GLsizei);
void emscripten_glDrawArrays(GLenum, GLint, GLsizei);
void emscripten_glFinish();
void emscripten_glReadPixels(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
void emscripten_glBindBuffer(GLenum, GLuint);
void emscripten_glGetFloatv(GLenum, GLfloat*);
void emscripten_glDisable(GLenum);
void emscripten_glBlendFunc(GLenum, GLenum);
void emscripten_glBindTexture(GLenum, GLuint);
void emscripten_glTexParameteri(GLenum, GLenum, GLint);
void emscripten_glDepthRangef(GLfloat, GLfloat);
}

namespace {

struct Vertex {
  float p[3], c[4], t[2];
};

// Everything the subset remembers between calls; one context at a time.
struct State {
  GLenum mode = GL_MODELVIEW;
  double modelview[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  double projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float colour[4] = {1, 1, 1, 1};
  float texCoord[2] = {0, 0};
  std::vector<std::array<double, 16>> saved[2]; // pushed model-view and projection matrices
  GLenum primitive = 0;                         // of the vertices in the batch
  std::vector<Vertex> batch; // immediate-mode vertices not yet drawn, or a client array range
  bool vertexArray = false, colorArray = false;
  // Each array pointer is an offset into the buffer object bound when it was set (0: an
  // address in client memory).
  const float* vertexPointer = nullptr;
  const uint8_t* colorPointer = nullptr;
  GLuint vertexBuffer = 0, colorBuffer = 0;
  GLuint arrayBinding = 0; // the buffer object the renderer has bound
  GLuint program = 0, buffer = 0;
  GLint mvp = -1, pos = -1, col = -1, tex = -1, textured = -1, mv = -1, clip = -1, clipping = -1;
  float clipPlane[4] = {0, 0, 0, 0}; // user clip plane 0 in eye space, as glClipPlane keeps it
  bool clipOn = false;
  bool texArray = false;  // the texture coordinate array is on (batches) or off (buffer draws)
  bool failed = false;    // the shaders did not build: nothing is drawn, the page was told
  bool texture2d = false; // glEnable(GL_TEXTURE_2D): colours take the bound texture's alpha
  // What a restored context must be given again.
  bool depthTest = false;
  GLint viewport[4] = {0, 0, 0, 0};
} gl;

// Immediate-mode vertices gathered before a draw call at most (24 MB), so a frame of huge
// lattices is sent in pieces.
constexpr size_t batchLimit = size_t(1) << 20;

const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Like OpenGL, calls made while no context is current do nothing (the window's first size
// message comes before its context exists).
bool live() {
  return emscripten_webgl_get_current_context() != 0;
}

double* current() {
  return gl.mode == GL_PROJECTION ? gl.projection : gl.modelview;
}

// The current matrix times `r`, as glMultMatrix does.
void multiply(const double r[16]) {
  Matrix a, b;
  std::memcpy(a.m, current(), sizeof a.m);
  std::memcpy(b.m, r, sizeof b.m);
  std::memcpy(current(), multiply(a, b).m, sizeof a.m);
}

// The page's side, in JavaScript (kept as written: the formatter does not know it).
// clang-format off
EM_JS(void, pageGlFailed, (const char* what), {
  Module.kelvaneMessage("WebGL: " + UTF8ToString(what), true);
});
// clang-format on

// Tells the page that drawing cannot work, with the reason and the driver's log; from then on
// nothing is drawn.
void glFailed(std::string what, const char* log) {
  if (log && *log) what += ": " + std::string(log);
  gl.failed = true;
  pageGlFailed(what.c_str());
}

// A compiled shader, or 0 after telling the page why not.
GLuint shader(GLenum type, const char* text) {
  GLuint s = glCreateShader(type);
  glShaderSource(s, 1, &text, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (ok) return s;
  char log[512] = "";
  glGetShaderInfoLog(s, sizeof log, nullptr, log);
  glFailed(type == GL_VERTEX_SHADER ? "the vertex shader does not compile"
                                    : "the fragment shader does not compile",
           log);
  return 0;
}

// Builds the program once; false (the page told) when it cannot be built or lacks its inputs,
// and while the context is lost.
bool setUp() {
  if (gl.program || gl.failed) return !gl.failed;
  // A lost context fails every compile; the program is built once it is restored.
  if (emscripten_is_webgl_context_lost(emscripten_webgl_get_current_context())) return false;
  // The clip plane's distance goes with each vertex, from the eye-space position, as OpenGL's
  // user clip plane measures it; the fragments on its far side are left out.
  const char* vs = "attribute vec3 pos; attribute vec4 col; attribute vec2 tex;"
                   "uniform mat4 mvp; uniform mat4 mv; uniform vec4 clip;"
                   "varying vec4 c; varying vec2 t; varying float cut;"
                   "void main() { t = tex; gl_Position = mvp * vec4(pos, 1.0);"
                   "  cut = dot(clip, mv * vec4(pos, 1.0));"
                   "  vec3 x = clamp(col.rgb, 0.0, 1.0) * 255.0, f = floor(x), d = x - f;"
                   "  vec3 tie = step(0.5, d) * step(d, vec3(0.5));"
                   "  c = vec4((f + step(0.5, d) - tie + tie * mod(f, 2.0)) / 255.0, col.a); }";
  // Each corner's colour is put on the nearest of the 256 levels (a tie to the even one), as
  // an 8-bit colour buffer takes a float and as colourLevel gives a byte, before it is
  // interpolated: a triangle's corners share their colour, so every pixel of it takes that
  // level, with nothing left for the browser's conversion to round. A texture (the overlay's
  // glyphs) scales the alpha by its own, as GL_MODULATE does with an alpha texture.
  const char* fs = "precision highp float; varying vec4 c; varying vec2 t; varying float cut;"
                   "uniform sampler2D atlas; uniform float textured; uniform float clipping;"
                   "void main() {"
                   "  if (clipping > 0.5 && cut < 0.0) discard;"
                   "  vec3 level = floor(c.rgb * 255.0 + 0.5);"
                   "  float a = c.a * mix(1.0, texture2D(atlas, t).a, textured);"
                   "  gl_FragColor = vec4(clamp(level, 0.0, 255.0) / 255.0, a);"
                   "}";
  GLuint v = shader(GL_VERTEX_SHADER, vs), f = v ? shader(GL_FRAGMENT_SHADER, fs) : 0;
  if (!f) return false;
  GLuint program = glCreateProgram();
  glAttachShader(program, v);
  glAttachShader(program, f);
  glLinkProgram(program);
  GLint linked = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &linked);
  if (!linked) {
    char log[512] = "";
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    glFailed("the shaders do not link", log);
    return false;
  }
  gl.mvp = glGetUniformLocation(program, "mvp");
  gl.pos = glGetAttribLocation(program, "pos");
  gl.col = glGetAttribLocation(program, "col");
  gl.tex = glGetAttribLocation(program, "tex");
  gl.textured = glGetUniformLocation(program, "textured");
  gl.mv = glGetUniformLocation(program, "mv");
  gl.clip = glGetUniformLocation(program, "clip");
  gl.clipping = glGetUniformLocation(program, "clipping");
  if (gl.mvp < 0 || gl.pos < 0 || gl.col < 0 || gl.tex < 0 || gl.textured < 0 || gl.mv < 0 ||
      gl.clip < 0 || gl.clipping < 0) {
    glFailed("the linked program lacks its inputs (mvp, mv, clip, clipping, pos, col, tex or "
             "textured)",
             nullptr);
    return false;
  }
  gl.program = program;
  glGenBuffers(1, &gl.buffer);
  // The only program and its two attribute arrays stay in use from here on.
  glUseProgram(program);
  glEnableVertexAttribArray(GLuint(gl.pos));
  glEnableVertexAttribArray(GLuint(gl.col));
  return true;
}

// Readies the program with the current projection times model-view; false when nothing can
// be drawn (no context, or shaders that did not build).
bool begin() {
  if (!live() || !setUp()) return false;
  float m[16];
  for (int c = 0; c < 4; c++)
    for (int r = 0; r < 4; r++) {
      double s = 0;
      for (int k = 0; k < 4; k++) s += gl.projection[k * 4 + r] * gl.modelview[c * 4 + k];
      m[c * 4 + r] = float(s);
    }
  glUniformMatrix4fv(gl.mvp, 1, GL_FALSE, m);
  glUniform1f(gl.textured, gl.texture2d ? 1.0f : 0.0f);
  for (int i = 0; i < 16; i++) m[i] = float(gl.modelview[i]);
  glUniformMatrix4fv(gl.mv, 1, GL_FALSE, m);
  glUniform4fv(gl.clip, 1, gl.clipPlane);
  glUniform1f(gl.clipping, gl.clipOn ? 1.0f : 0.0f);
  return true;
}

// Turns the texture coordinate array on or off, where that changes it.
void useTexArray(bool on) {
  if (on == gl.texArray) return;
  gl.texArray = on;
  if (on)
    glEnableVertexAttribArray(GLuint(gl.tex));
  else
    glDisableVertexAttribArray(GLuint(gl.tex));
}

// Draws the gathered vertices in one call, under the matrices they were sent with: every
// change of matrix, primitive or state flushes first.
void flush() {
  if (gl.batch.empty()) return;
  if (begin()) {
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, gl.buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(gl.batch.size() * sizeof(Vertex)), gl.batch.data(),
                 GL_STREAM_DRAW);
    glVertexAttribPointer(GLuint(gl.pos), 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(GLuint(gl.col), 4, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, c)));
    useTexArray(true);
    glVertexAttribPointer(GLuint(gl.tex), 2, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, t)));
    emscripten_glDrawArrays(gl.primitive, 0, GLsizei(gl.batch.size()));
  }
  gl.batch.clear();
}

// glEnable and glDisable. GL_TEXTURE_2D is this layer's own switch (WebGL has none); the rest
// are WebGL's, the depth test remembered for a restored context.
void setCapability(GLenum cap, bool on) {
  flush();
  if (cap == GL_DEPTH_TEST) gl.depthTest = on;
  if (cap == GL_TEXTURE_2D)
    gl.texture2d = on;
  else if (cap == GL_CLIP_PLANE0)
    gl.clipOn = on;
  else if (live())
    on ? emscripten_glEnable(cap) : emscripten_glDisable(cap);
}

// Draws a range of the arrays straight from their buffer objects.
void drawFromBuffers(GLenum mode, GLint first, GLsizei count) {
  if (!begin()) return;
  useTexArray(false); // the arrays have no texture coordinates
  emscripten_glBindBuffer(GL_ARRAY_BUFFER, gl.vertexBuffer);
  glVertexAttribPointer(GLuint(gl.pos), 3, GL_FLOAT, GL_FALSE, 0, gl.vertexPointer);
  emscripten_glBindBuffer(GL_ARRAY_BUFFER, gl.colorBuffer);
  glVertexAttribPointer(GLuint(gl.col), 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, gl.colorPointer);
  emscripten_glDrawArrays(mode, first, count);
}

// Buffer objects as the renderer sees them: WebGL's own, with the binding remembered so the
// array pointers know where they point. Drawing binds buffers of its own, so the renderer's
// binding is set again only where it counts: before its data goes in.
void APIENTRY genBuffers(GLsizei n, GLuint* names) {
  glGenBuffers(n, names);
}
void APIENTRY bindBuffer(GLenum target, GLuint b) {
  if (target == GL_ARRAY_BUFFER) gl.arrayBinding = b;
  emscripten_glBindBuffer(target, b);
}
void APIENTRY bufferData(GLenum target, ptrdiff_t size, const void* data, GLenum usage) {
  if (target == GL_ARRAY_BUFFER) emscripten_glBindBuffer(target, gl.arrayBinding);
  glBufferData(target, GLsizeiptr(size), data, usage);
}
void APIENTRY bufferSubData(GLenum target, ptrdiff_t at, ptrdiff_t size, const void* data) {
  if (target == GL_ARRAY_BUFFER) emscripten_glBindBuffer(target, gl.arrayBinding);
  glBufferSubData(target, GLintptr(at), GLsizeiptr(size), data);
}
void APIENTRY deleteBuffers(GLsizei n, const GLuint* names) {
  for (GLsizei i = 0; i < n; i++)
    if (names[i] == gl.arrayBinding) gl.arrayBinding = 0;
  glDeleteBuffers(n, names);
}

} // namespace

void* glProc(const char* name) {
  std::string n = name;
  if (n == "glGenBuffers") return reinterpret_cast<void*>(genBuffers);
  if (n == "glBindBuffer") return reinterpret_cast<void*>(bindBuffer);
  if (n == "glBufferData") return reinterpret_cast<void*>(bufferData);
  if (n == "glDeleteBuffers") return reinterpret_cast<void*>(deleteBuffers);
  if (n == "glBufferSubData") return reinterpret_cast<void*>(bufferSubData);
  return nullptr;
}

void webglRestored() {
  gl.program = gl.buffer = 0;
  gl.texArray = false;
  gl.arrayBinding = gl.vertexBuffer = gl.colorBuffer = 0;
  gl.batch.clear();
  if (!live()) return;
  if (gl.depthTest) emscripten_glEnable(GL_DEPTH_TEST);
  emscripten_glViewport(gl.viewport[0], gl.viewport[1], gl.viewport[2], gl.viewport[3]);
}

extern "C" {

void glClear(GLbitfield mask) {
  flush();
  if (live()) emscripten_glClear(mask);
}
void glEnable(GLenum cap) {
  setCapability(cap, true);
}
// Triangles come out flat anyway: the vertex shader puts each corner's colour on its level.
void glShadeModel(GLenum) {}
void glDisable(GLenum cap) {
  setCapability(cap, false);
}
// Keeps plane 0 in eye space, as OpenGL does: for the model-view's linear part A and
// translation t, the normal becomes A^-T n (A's cofactors over its determinant) and the offset
// d - n'.t. Only plane 0 exists.
void glClipPlane(GLenum plane, const GLdouble* eq) {
  if (plane != GL_CLIP_PLANE0) return;
  flush();
  const double* m = gl.modelview; // column-major: A(r, c) = m[c * 4 + r]
  auto a = [m](int r, int c) { return m[c * 4 + r]; };
  double cof[3][3];
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++)
      cof[r][c] = a((r + 1) % 3, (c + 1) % 3) * a((r + 2) % 3, (c + 2) % 3) -
                  a((r + 1) % 3, (c + 2) % 3) * a((r + 2) % 3, (c + 1) % 3);
  double det = a(0, 0) * cof[0][0] + a(0, 1) * cof[0][1] + a(0, 2) * cof[0][2];
  if (det == 0) return;
  double n[3], d = eq[3];
  for (int r = 0; r < 3; r++) {
    n[r] = (cof[r][0] * eq[0] + cof[r][1] * eq[1] + cof[r][2] * eq[2]) / det;
    d -= n[r] * m[12 + r];
  }
  for (int r = 0; r < 3; r++) gl.clipPlane[r] = float(n[r]);
  gl.clipPlane[3] = float(d);
}
void glDepthRange(GLclampd zNear, GLclampd zFar) {
  flush();
  if (live()) emscripten_glDepthRangef(GLfloat(zNear), GLfloat(zFar));
}
void glBlendFunc(GLenum src, GLenum dst) {
  flush();
  if (live()) emscripten_glBlendFunc(src, dst);
}
void glBindTexture(GLenum target, GLuint texture) {
  flush();
  if (live()) emscripten_glBindTexture(target, texture);
}
// GL_CLAMP (OpenGL 1.1) is GL_CLAMP_TO_EDGE in WebGL: the same with nearest sampling.
void glTexParameteri(GLenum target, GLenum name, GLint value) {
  if (value == GL_CLAMP) value = GL_CLAMP_TO_EDGE;
  if (live()) emscripten_glTexParameteri(target, name, value);
}
void glPushMatrix() {
  flush();
  std::array<double, 16> m;
  std::memcpy(m.data(), current(), sizeof(double) * 16);
  gl.saved[gl.mode == GL_PROJECTION].push_back(m);
}
void glPopMatrix() {
  flush();
  auto& stack = gl.saved[gl.mode == GL_PROJECTION];
  if (stack.empty()) return;
  std::memcpy(current(), stack.back().data(), sizeof(double) * 16);
  stack.pop_back();
}
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  flush();
  gl.viewport[0] = x;
  gl.viewport[1] = y;
  gl.viewport[2] = w;
  gl.viewport[3] = h;
  if (live()) emscripten_glViewport(x, y, w, h);
}
void glFlush() {
  flush();
}
void glFinish() {
  flush();
  if (live()) emscripten_glFinish();
}
// What was drawn so far, the batch too (WebGL reads GL_RGBA bytes only).
void glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* out) {
  flush();
  if (live()) emscripten_glReadPixels(x, y, w, h, format, type, out);
}
void glMatrixMode(GLenum mode) {
  gl.mode = mode;
}
void glLoadIdentity() {
  flush();
  std::memcpy(current(), identity, sizeof identity);
}
void glLoadMatrixf(const GLfloat* m) {
  flush();
  for (int i = 0; i < 16; i++) current()[i] = m[i];
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
  flush();
  multiply(translationMatrix(x, y, z).m);
}
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
  flush();
  double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
  if (!(len > 0)) return;
  multiply(rotationMatrix(angle, x / len, y / len, z / len).m);
}
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
  flush();
  multiply(perspectiveMatrix(fovy, aspect, zNear, zFar).m);
}
void glGetFloatv(GLenum name, GLfloat* out) {
  if (name != GL_MODELVIEW_MATRIX && name != GL_PROJECTION_MATRIX) {
    if (live()) emscripten_glGetFloatv(name, out);
    return;
  }
  const double* m = name == GL_PROJECTION_MATRIX ? gl.projection : gl.modelview;
  for (int i = 0; i < 16; i++) out[i] = float(m[i]);
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
  glColor4f(r, g, b, 1);
}
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
  gl.colour[0] = r;
  gl.colour[1] = g;
  gl.colour[2] = b;
  gl.colour[3] = a;
}
void glTexCoord2f(GLfloat s, GLfloat t) {
  gl.texCoord[0] = s;
  gl.texCoord[1] = t;
}
void glBegin(GLenum mode) {
  if (mode != gl.primitive) flush();
  gl.primitive = mode;
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
  const float* c = gl.colour;
  gl.batch.push_back({{x, y, z}, {c[0], c[1], c[2], c[3]}, {gl.texCoord[0], gl.texCoord[1]}});
}
void glEnd() {
  if (gl.batch.size() >= batchLimit) flush();
}
void glEnableClientState(GLenum array) {
  (array == GL_VERTEX_ARRAY ? gl.vertexArray : gl.colorArray) = true;
}
void glDisableClientState(GLenum array) {
  (array == GL_VERTEX_ARRAY ? gl.vertexArray : gl.colorArray) = false;
}
void glVertexPointer(GLint, GLenum, GLsizei, const void* p) {
  gl.vertexPointer = static_cast<const float*>(p);
  gl.vertexBuffer = gl.arrayBinding;
}
// The renderer's colour arrays hold four levels (bytes) a vertex.
void glColorPointer(GLint, GLenum, GLsizei, const void* p) {
  gl.colorPointer = static_cast<const uint8_t*>(p);
  gl.colorBuffer = gl.arrayBinding;
}
// Draws a range of the arrays (3 floats of position and 4 colour bytes a vertex): from their
// buffer objects, or copied from client memory.
void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
  flush();
  if (!gl.vertexArray || !gl.colorArray || (gl.vertexBuffer == 0) != (gl.colorBuffer == 0)) return;
  if (gl.vertexBuffer) {
    drawFromBuffers(mode, first, count);
    return;
  }
  gl.batch.resize(size_t(count));
  for (GLsizei i = 0; i < count; i++) {
    std::memcpy(gl.batch[size_t(i)].p, gl.vertexPointer + 3 * (first + i), 12);
    for (int a = 0; a < 4; a++)
      gl.batch[size_t(i)].c[a] = float(gl.colorPointer[4 * (first + i) + a]) / 255;
  }
  gl.primitive = mode;
  flush();
}
}

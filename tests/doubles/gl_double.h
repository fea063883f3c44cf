// Test double for OpenGL and GLU: records the call stream and keeps the current matrices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Gl : uint8_t {
  Clear,
  Enable,
  Viewport,
  MatrixMode,
  LoadIdentity,
  Translate,
  Rotate,
  Begin,
  End,
  Color,
  Vertex,
  Perspective,
  DrawArrays,
  Disable,
  BlendFunc,
  Color4,
  TexCoord,
  BindTexture,
  TexImage,
  PushMatrix,
  PopMatrix,
  DepthRange,
  LoadMatrix,
  ClipPlane // the equation as given (the double keeps no eye-space copy)
};

// A triangle as it reached the picture, from either drawing path: corners, and colour as the
// levels an 8-bit colour buffer keeps (colourLevel of a float colour).
struct DrawnTriangle {
  float v[3][3];
  uint8_t rgb[3];
  bool operator==(const DrawnTriangle&) const = default;
};

struct GlCall {
  Gl fn;
  double a[4];
};

// The state a pass may change and must put back: capabilities, blending, the bound texture,
// the matrices, the viewport and the depth range.
struct GlState {
  bool depthTest = false, blend = false, texture2d = false;
  unsigned blendSrc = 1, blendDst = 0; // GL_ONE, GL_ZERO
  unsigned texture = 0;
  unsigned matrixMode = 0x1700; // GL_MODELVIEW
  double modelview[16], projection[16];
  int viewport[4] = {0, 0, 0, 0};
  double depthRange[2] = {0, 1};
  bool operator==(const GlState&) const = default;
};

// What the double's context offers for buffer objects: OpenGL 1.5, 1.4 with
// ARB_vertex_buffer_object, or a plain OpenGL 1.1.
enum class GlBuffers : uint8_t { core, arb, none };

struct GlDouble {
  std::vector<GlCall> calls;
  bool record = true; // false: count triangles only
  long vertices = 0;
  unsigned matrixMode = 0x1700; // GL_MODELVIEW
  double modelview[16], projection[16];
  bool depthTest = false, blend = false, texture2d = false;
  unsigned blendSrc = 1, blendDst = 0;
  unsigned texture = 0; // bound to GL_TEXTURE_2D
  int viewport[4] = {0, 0, 0, 0};
  double depthRange[2] = {0, 1};
  unsigned texturesMade = 0; // names glGenTextures gave out, in this context
  int texturesLive = 0;      // of them, not deleted
  long textureBytes = 0;     // bytes glTexImage2D took, in this context
  // Triangles drawn by glBegin/glEnd and by glDrawArrays, in order (while recording).
  std::vector<DrawnTriangle> drawn;
  // Client array state for glDrawArrays: a pointer is an offset into the buffer object bound
  // when it was set (0: an address).
  bool vertexArray = false, colorArray = false;
  const float* vertexPointer = nullptr;
  const uint8_t* colorPointer = nullptr; // 4 levels a vertex, the only colour array drawn
  unsigned vertexBuffer = 0, colorBuffer = 0;
  // Buffer objects: what the context offers (kept by glDoubleReset), their contents by name,
  // the one bound, and the bytes that crossed to them.
  GlBuffers offers = GlBuffers::core;
  std::vector<std::vector<char>> buffers; // name n is buffers[n - 1]; deleted ones empty
  std::vector<bool> live;                 // whether name n - 1 exists
  unsigned arrayBuffer = 0;
  std::vector<size_t> drawArraysAt; // per recorded glDrawArrays, its first triangle in drawn
  long uploadedBytes = 0;
  bool flat = false;      // glShadeModel(GL_FLAT), kept but not recorded
  long replacedBytes = 0; // by glBufferSubData
  struct SubData {
    unsigned buffer;
    long at, bytes;
  };
  std::vector<SubData> subData; // each glBufferSubData, in order
  long clientVertices = 0;      // vertices glDrawArrays read from client memory
  bool uploadFails = false;     // glBufferData reports GL_OUT_OF_MEMORY
  unsigned pendingError = 0;    // what glGetError answers next
};

extern GlDouble glDouble;

// Forgets the calls, the client array state and the counts, and resets both matrices to
// identity, model-view current. Buffer objects stay, as in a context.
void glDoubleReset();
// A fresh context offering `offers`: no buffer objects, uploads succeed, then glDoubleReset.
void glDoubleNewContext(GlBuffers offers);
// Buffer objects made and not deleted.
int glDoubleLiveBuffers();
// The state now, for comparing before and after a pass.
GlState glDoubleState();
std::string glCallName(Gl fn);

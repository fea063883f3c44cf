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
  Perspective
};

struct GlCall {
  Gl fn;
  double a[4];
};

struct GlDouble {
  std::vector<GlCall> calls;
  bool record = true; // false: count triangles only
  long vertices = 0;
  unsigned matrixMode = 0x1700; // GL_MODELVIEW
  double modelview[16], projection[16];
};

extern GlDouble glDouble;

// Forgets the calls and resets both matrices to identity, model-view current.
void glDoubleReset();
std::string glCallName(Gl fn);

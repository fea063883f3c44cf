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
  DrawArrays
};

// A triangle as it reached the picture, from either drawing path: corners and colour.
struct DrawnTriangle {
  float v[3][3];
  float rgb[3];
  bool operator==(const DrawnTriangle&) const = default;
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
  // Triangles drawn by glBegin/glEnd and by glDrawArrays, in order (while recording).
  std::vector<DrawnTriangle> drawn;
  // Client array state for glDrawArrays.
  bool vertexArray = false, colorArray = false;
  const float* vertexPointer = nullptr;
  const float* colorPointer = nullptr;
};

extern GlDouble glDouble;

// Forgets the calls and resets both matrices to identity, model-view current.
void glDoubleReset();
std::string glCallName(Gl fn);

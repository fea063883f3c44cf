// The measurement's marks and a lattice's cell grid, drawn after the scene.
#include "render/marks.h"

#include "platform/gl.h"
#include "render/frame.h"
#include "render/placement.h"

#include <cmath>

void drawMeasureMarks(const float* trot, const double points[][3], int n) {
  if (n <= 0) return;
  glDisable(GL_DEPTH_TEST); // the scene's frame keeps it on
  glPushMatrix();
  loadCamera(trot);
  GLfloat view[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, view);
  glColor3f(markColour[0], markColour[1], markColour[2]);
  glBegin(GL_LINES);
  for (int i = 0; i < n; i++) {
    const double* p = points[i];
    double eye[3];
    for (int r = 0; r < 3; r++)
      eye[r] = view[r] * p[0] + view[4 + r] * p[1] + view[8 + r] * p[2] + view[12 + r];
    double s = 0.01 * std::sqrt(eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2]);
    for (int axis = 0; axis < 3; axis++) {
      double a[3] = {p[0], p[1], p[2]}, b[3] = {p[0], p[1], p[2]};
      a[axis] -= s;
      b[axis] += s;
      glVertex3f(float(a[0]), float(a[1]), float(a[2]));
      glVertex3f(float(b[0]), float(b[1]), float(b[2]));
    }
  }
  if (n == 2) {
    glVertex3f(float(points[0][0]), float(points[0][1]), float(points[0][2]));
    glVertex3f(float(points[1][0]), float(points[1][1]), float(points[1][2]));
  }
  glEnd();
  glPopMatrix();
  glEnable(GL_DEPTH_TEST);
}

std::vector<float> latticeGridLines(const Lattice* L, const ViewerState& vs) {
  std::vector<Triangle> tris;
  CollectEmitter emit{&tris};
  FaceTables ft;
  drawLatticeShape(L, vs, false, ft, emit);
  std::vector<float> lines;
  lines.reserve(tris.size() / 2 * 24);
  auto edge = [&](const float* a, const float* b) {
    lines.insert(lines.end(), {a[0], a[1], a[2], b[0], b[1], b[2]});
  };
  // Every cell's quad comes as two triangles (0, 1, 2) and (1, 2, 3); 1-2 is the diagonal.
  for (size_t t = 0; t + 1 < tris.size(); t += 2) {
    const Triangle &a = tris[t], &b = tris[t + 1];
    edge(a.v[0], a.v[1]);
    edge(a.v[0], a.v[2]);
    edge(b.v[0], b.v[2]);
    edge(b.v[1], b.v[2]);
  }
  return lines;
}

void drawLatticeGrid(const Lattice* L, const float* trot, const ViewerState& vs,
                     const std::vector<float>& lines) {
  if (lines.empty()) return;
  glPushMatrix();
  loadCamera(trot);
  ViewerState plain = vs;
  plain.axisFlag = 0; // the axis lines are the scene's
  applyLatticeTransform(L, plain);
  // A 24-bit depth buffer has steps of 6e-8; 2e-5 of the range lifts the lines clear of the
  // faces' rasterization and stays well under what separates two faces a cell apart.
  glDepthRange(0.0, 1.0 - 2e-5);
  glColor3f(0.2f, 0.2f, 0.2f);
  glBegin(GL_LINES);
  for (size_t i = 0; i + 2 < lines.size(); i += 3) glVertex3f(lines[i], lines[i + 1], lines[i + 2]);
  glEnd();
  glDepthRange(0.0, 1.0);
  glPopMatrix();
}

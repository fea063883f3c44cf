// Viewport and projection for a drawable size.
#include "view.h"

#include "platform/gl.h"

void viewProjection(int width, int height) {
  if (height < 1) height = 1;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, double(width) / double(height), 1.0, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

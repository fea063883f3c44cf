// OpenGL and GLU entry points that do nothing, so a benchmark measures only our side of the
// calls. Kept out of line so every call is really made.
#include "platform/gl.h"

extern "C" {
void glClear(GLbitfield) {}
void glEnable(GLenum) {}
void glDisable(GLenum) {}
void glClipPlane(GLenum, const GLdouble*) {}
void glViewport(GLint, GLint, GLsizei, GLsizei) {}
void glMatrixMode(GLenum) {}
void glLoadIdentity() {}
void glLoadMatrixf(const GLfloat*) {}
void glTranslatef(GLfloat, GLfloat, GLfloat) {}
void glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glBegin(GLenum) {}
void glEnd() {}
void glColor3f(GLfloat, GLfloat, GLfloat) {}
void glVertex3f(GLfloat, GLfloat, GLfloat) {}
void gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) {}
void glEnableClientState(GLenum) {}
void glDisableClientState(GLenum) {}
void glVertexPointer(GLint, GLenum, GLsizei, const void*) {}
void glColorPointer(GLint, GLenum, GLsizei, const void*) {}
void glDrawArrays(GLenum, GLint, GLsizei) {}
const GLubyte* glGetString(GLenum) {
  return reinterpret_cast<const GLubyte*>("1.1");
}
GLenum glGetError() {
  return GL_NO_ERROR;
}
void glGetFloatv(GLenum, GLfloat* out) {
  for (int i = 0; i < 16; i++) out[i] = i % 5 == 0; // identity: nothing is culled
}
}

// OpenGL and GLU entry points that do nothing, so a benchmark measures only our side of the
// calls. Kept out of line so every call is really made.
#include "platform/gl.h"

extern "C" {
void glClear(GLbitfield) {}
void glEnable(GLenum) {}
void glShadeModel(GLenum) {}
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
// The overlay's: matrices kept, blending, the glyph atlas.
void glPushMatrix() {}
void glPopMatrix() {}
void glDepthRange(GLclampd, GLclampd) {}
void glBlendFunc(GLenum, GLenum) {}
void glColor4f(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glTexCoord2f(GLfloat, GLfloat) {}
void glGenTextures(GLsizei n, GLuint* out) {
  for (GLsizei i = 0; i < n; i++) out[i] = GLuint(i + 1);
}
void glDeleteTextures(GLsizei, const GLuint*) {}
void glBindTexture(GLenum, GLuint) {}
void glTexParameteri(GLenum, GLenum, GLint) {}
void glPixelStorei(GLenum, GLint) {}
void glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const void*) {}
void glGetFloatv(GLenum, GLfloat* out) {
  for (int i = 0; i < 16; i++) out[i] = i % 5 == 0; // identity: nothing is culled
}
}

// No extension entry point: the scene keeps its arrays in client memory, as OpenGL 1.1 does.
void* glProc(const char*) {
  return nullptr;
}

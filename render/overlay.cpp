// The overlay pass: each panel's ground as two blended dark triangles, then its glyphs as
// textured quads from the alpha atlas, placed on whole pixels so the glyphs stay crisp.
#include "overlay.h"

#include "font.h"

#include "platform/gl.h"

#include <algorithm>

namespace {

const float groundAlpha = 0.68f;

int longest(const OverlayPanel& p) {
  size_t n = 0;
  for (const OverlayLine& l : p.lines) n = std::max(n, l.text.size());
  return int(n);
}

// Normalised device coordinates of a window pixel position (y down).
void vertex(double x, double y, int width, int height) {
  glVertex3f(float(2 * x / width - 1), float(1 - 2 * y / height), 0);
}

// Two triangles from (l, t) to (r, b) in window pixels; with a glyph, each corner carries its
// place in the atlas.
void quad(double l, double t, double r, double b, int width, int height,
          const FontGlyph* g = nullptr) {
  const double corners[6][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (const auto& c : corners) {
    if (g)
      glTexCoord2f(float((c[0] ? g->x1 : g->x0) / double(fontAtlas.width)),
                   float((c[1] ? g->y1 : g->y0) / double(fontAtlas.height)));
    vertex(c[0] ? r : l, c[1] ? b : t, width, height);
  }
}

unsigned makeAtlasTexture() {
  GLuint t = 0;
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, fontAtlas.width, fontAtlas.height, 0, GL_ALPHA,
               GL_UNSIGNED_BYTE, fontAtlas.alpha);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  return t;
}

void drawText(const OverlayPanel& p, const int box[4], int width, int height) {
  double y = box[1] + panelPadding;
  for (const OverlayLine& line : p.lines) {
    glColor4f(line.rgb[0], line.rgb[1], line.rgb[2], 1);
    double x = box[0] + panelPadding, base = y + fontAtlas.ascent;
    for (char ch : line.text) {
      int c = (unsigned char)ch;
      if (c < fontAtlas.first || c >= fontAtlas.first + fontAtlas.count) c = '?';
      const FontGlyph& g = fontAtlas.glyphs[c - fontAtlas.first];
      double l = x + int(g.xoff), t = base + int(g.yoff);
      if (g.x1 > g.x0) quad(l, t, l + (g.x1 - g.x0), t + (g.y1 - g.y0), width, height, &g);
      x += fontAtlas.advance;
    }
    y += fontAtlas.lineHeight;
  }
}

} // namespace

int panelWidth(const OverlayPanel& p) {
  return longest(p) * fontAtlas.advance + 2 * panelPadding;
}

int panelHeight(const OverlayPanel& p) {
  return int(p.lines.size()) * fontAtlas.lineHeight + 2 * panelPadding;
}

void panelBox(const OverlayPanel& p, int width, int height, int box[4]) {
  int w = panelWidth(p), h = panelHeight(p);
  int left = panelMargin, top = panelMargin;
  if (p.anchor == Anchor::topRight) left = width - panelMargin - w;
  if (p.anchor == Anchor::bottomLeft) top = height - panelMargin - h;
  if (p.anchor == Anchor::centre) {
    left = (width - w) / 2;
    top = (height - h) / 2;
  }
  box[0] = left;
  box[1] = top;
  box[2] = left + w;
  box[3] = top + h;
}

void drawOverlay(const std::vector<OverlayPanel>& panels, int width, int height,
                 unsigned& texture) {
  if (panels.empty() || width < 1 || height < 1) return;
  glDisable(GL_DEPTH_TEST);
  if (!texture) texture = makeAtlasTexture();
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  for (const OverlayPanel& p : panels) {
    int box[4];
    panelBox(p, width, height, box);
    glColor4f(0.05f, 0.05f, 0.07f, groundAlpha);
    glBegin(GL_TRIANGLES);
    quad(box[0], box[1], box[2], box[3], width, height);
    glEnd();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_TRIANGLES);
    drawText(p, box, width, height);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glBlendFunc(GL_ONE, GL_ZERO);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
}

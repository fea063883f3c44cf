// The overlay pass: each panel's ground as two blended dark triangles, then its glyphs as
// textured quads from the alpha atlas, placed on whole pixels so the glyphs stay crisp.
#include "overlay.h"

#include "font.h"

#include "platform/gl.h"

#include <algorithm>
#include <cmath>

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

// The axes marker's axis `a` (0 x, 1 y, 2 z) as the view turns it: right, up and towards the
// eye, in units of the axis's length.
void turnedAxis(const OverlayPanel& p, int a, double out[3]) {
  double c = std::cos(p.turn[0] * M_PI / 180), s = std::sin(p.turn[0] * M_PI / 180);
  double cy = std::cos(p.turn[1] * M_PI / 180), sy = std::sin(p.turn[1] * M_PI / 180);
  // The pitch's turn about x after the yaw's about y, as the camera turns the world.
  double v[3] = {a == 0 ? 1.0 : 0, a == 1 ? 1.0 : 0, a == 2 ? 1.0 : 0};
  double y[3] = {cy * v[0] + sy * v[2], v[1], -sy * v[0] + cy * v[2]};
  out[0] = y[0];
  out[1] = c * y[1] - s * y[2];
  out[2] = s * y[1] + c * y[2];
}

// Pixels from the marker's middle to an axis's end, and to its label's middle; the labels are
// drawn twice the text's size, to be read at a glance.
constexpr double axisLength = 26, labelAt = 38;
constexpr int labelScale = 2;

// The three axes from the marker's middle, as bars two pixels wide in their labels' colours,
// the farthest first so the nearest lies on top.
void drawAxes(const OverlayPanel& p, int width, int height) {
  double cx = (p.box[0] + p.box[2]) / 2.0, cy = (p.box[1] + p.box[3]) / 2.0;
  double d[3][3];
  int order[3] = {0, 1, 2};
  for (int a = 0; a < 3; a++) turnedAxis(p, a, d[a]);
  std::sort(order, order + 3, [&](int a, int b) { return d[a][2] < d[b][2]; });
  for (int a : order) {
    if (size_t(a) >= p.lines.size()) continue;
    const float* rgb = p.lines[size_t(a)].rgb;
    glColor4f(rgb[0], rgb[1], rgb[2], 1);
    double ex = cx + axisLength * d[a][0], ey = cy - axisLength * d[a][1];
    double len = std::hypot(ex - cx, ey - cy);
    double nx = len > 0 ? -(ey - cy) / len : 1, ny = len > 0 ? (ex - cx) / len : 0;
    const double c[6][2] = {{cx - nx, cy - ny}, {cx + nx, cy + ny}, {ex - nx, ey - ny},
                            {ex - nx, ey - ny}, {cx + nx, cy + ny}, {ex + nx, ey + ny}};
    for (const auto& k : c) vertex(k[0], k[1], width, height);
  }
}

// Each axis's label (the first character of its line) just past its end, on whole pixels.
void drawAxesLabels(const OverlayPanel& p, int width, int height) {
  double cx = (p.box[0] + p.box[2]) / 2.0, cy = (p.box[1] + p.box[3]) / 2.0;
  for (size_t a = 0; a < 3 && a < p.lines.size(); a++) {
    if (p.lines[a].text.empty()) continue;
    double d[3];
    turnedAxis(p, int(a), d);
    int c = (unsigned char)p.lines[a].text[0];
    if (c < fontAtlas.first || c >= fontAtlas.first + fontAtlas.count) c = '?';
    const FontGlyph& g = fontAtlas.glyphs[c - fontAtlas.first];
    // The glyph itself centred on the label's place.
    const int k = labelScale, gw = k * (g.x1 - g.x0), gh = k * (g.y1 - g.y0);
    double l = std::floor(cx + labelAt * d[0] - gw / 2.0);
    double t = std::floor(cy - labelAt * d[1] - gh / 2.0);
    const float* rgb = p.lines[a].rgb;
    glColor4f(rgb[0], rgb[1], rgb[2], 1);
    if (g.x1 > g.x0) quad(l, t, l + gw, t + gh, width, height, &g);
  }
}

} // namespace

int panelWidth(const OverlayPanel& p) {
  if (p.kind == PanelKind::axes) return axesSize;
  return longest(p) * fontAtlas.advance + 2 * panelPadding;
}

int panelHeight(const OverlayPanel& p) {
  if (p.kind == PanelKind::axes) return axesSize;
  return int(p.lines.size()) * fontAtlas.lineHeight + 2 * panelPadding;
}

namespace {

// Characters and rows that fit a panel `px` pixels wide or high.

// Cuts the text to `n` characters, its end "..." when it was longer.
void cutLine(std::string& t, int n) {
  if (int(t.size()) <= n) return;
  t = n > 3 ? t.substr(0, size_t(n - 3)) + "..." : std::string(size_t(std::max(n, 0)), '.');
}

// The text in lines of at most `n` characters, broken after a blank where there is one.
std::vector<std::string> wrapText(const std::string& t, int n) {
  std::vector<std::string> out;
  size_t at = 0;
  while (n > 0 && t.size() - at > size_t(n)) {
    size_t cut = t.rfind(' ', at + size_t(n));
    cut = cut == std::string::npos || cut <= at ? at + size_t(n) : cut + 1;
    out.push_back(t.substr(at, cut - at));
    at = cut;
  }
  out.push_back(t.substr(at));
  return out;
}

// A panel's rows in lines of at most `n` characters: a long row wraps onto a second line
// (indented two), and one that needs more keeps its head and its last field (after the last
// ", "), with "..." between, so the end that names a lattice is never what is lost.
void fitRows(OverlayPanel& p, int n) {
  std::vector<OverlayLine> lines;
  for (const OverlayLine& l : p.lines) {
    std::vector<std::string> parts = wrapText(l.text, n);
    if (parts.size() > 1 && n > 8) {
      std::string rest = l.text.substr(parts[0].size());
      parts.resize(1);
      std::string second = "  " + rest;
      if (int(second.size()) > n) {
        size_t comma = rest.rfind(", ");
        std::string last = comma == std::string::npos ? "" : rest.substr(comma);
        if (int(last.size()) + 5 > n) last.clear();
        second =
            "  " + rest.substr(0, size_t(std::max(0, n - 5 - int(last.size())))) + "..." + last;
      }
      parts.push_back(second);
    }
    for (std::string& t : parts) {
      cutLine(t, n);
      lines.push_back(l);
      lines.back().text = t;
    }
  }
  p.lines = std::move(lines);
}

// Keeps the rows that fit in `rows`; when some are left out the last row says how many, in at
// most `cols` characters and no wider than the panel was.
void cutRows(OverlayPanel& p, int rows, int cols) {
  cols = std::min(cols, longest(p));
  if (int(p.lines.size()) <= rows) return;
  if (rows < 2) {
    p.lines.clear();
    return;
  }
  size_t left = p.lines.size() - size_t(rows) + 1;
  p.lines.resize(size_t(rows));
  p.lines.back() = OverlayLine{};
  p.lines.back().text = "... " + std::to_string(left) + " more rows: enlarge the window";
  cutLine(p.lines.back().text, cols);
}

void place(OverlayPanel& p, int left, int top) {
  p.box[0] = left;
  p.box[1] = top;
  p.box[2] = left + panelWidth(p);
  p.box[3] = top + panelHeight(p);
}

// Stacks the panels from `top` down at `left`, cutting the rows of each to what is left above
// `bottom` (the last row's note to `cols` characters).
void stack(const std::vector<OverlayPanel*>& column, int left, int top, int bottom, int cols) {
  for (OverlayPanel* p : column) {
    cutRows(*p, rowsFitting(bottom - top), cols);
    if (p->lines.empty()) continue;
    place(*p, left, top);
    top = p->box[3] + panelMargin;
  }
}

// Lays out the panels but an outline in a width x height window from its left edge.
void layoutIn(std::vector<OverlayPanel>& panels, int width, int height) {
  int cols = charsFitting(width - 2 * panelMargin);
  int bottom = height - panelMargin; // the lowest edge the panels above the messages may reach
  bool help = std::any_of(panels.begin(), panels.end(),
                          [](const OverlayPanel& p) { return p.kind == PanelKind::help; });
  OverlayPanel *info = nullptr, *selection = nullptr, *measure = nullptr, *legend = nullptr;
  for (OverlayPanel& p : panels) {
    if (p.kind == PanelKind::messages) {
      std::vector<OverlayLine> lines;
      for (const OverlayLine& l : p.lines)
        for (const std::string& t : wrapText(l.text, cols)) {
          lines.push_back(l);
          lines.back().text = t;
        }
      size_t rows = size_t(rowsFitting(height / 2));
      if (lines.size() > rows) lines.erase(lines.begin(), lines.end() - long(rows));
      p.lines = std::move(lines);
      if (p.lines.empty()) continue;
      place(p, panelMargin, height - panelMargin - panelHeight(p));
      bottom = p.box[1] - panelMargin;
      continue;
    }
    if (help && p.kind != PanelKind::help) p.lines.clear(); // the help has the window
    if (p.kind == PanelKind::selection)
      fitRows(p, cols);
    else if (p.kind == PanelKind::help)
      for (OverlayLine& l : p.lines) cutLine(l.text, cols);
    if (p.kind == PanelKind::info) info = &p;
    if (p.kind == PanelKind::selection) selection = &p;
    if (p.kind == PanelKind::measure) measure = &p;
    if (p.kind == PanelKind::legend) legend = &p;
  }
  // The axes marker stands in the bottom right corner above the messages: the panels on the
  // right stop above it, and those on the left stay clear of its width.
  int rightBottom = bottom, sideCols = cols;
  for (OverlayPanel& p : panels)
    if (p.kind == PanelKind::axes && !help && bottom - axesSize >= panelMargin &&
        width - axesSize >= 2 * panelMargin) {
      place(p, width - panelMargin - axesSize, bottom - axesSize);
      rightBottom = p.box[1] - panelMargin;
      sideCols = charsFitting(width - axesSize - 3 * panelMargin);
    } else if (p.kind == PanelKind::axes)
      p.lines.clear();
  for (OverlayPanel& p : panels)
    if (p.kind == PanelKind::help) {
      cutRows(p, rowsFitting(bottom - panelMargin), cols);
      int free = bottom - panelMargin - panelHeight(p);
      place(p, (width - panelWidth(p)) / 2, panelMargin + std::max(free, 0) / 2);
    }
  // The info panel, the measurement and the legend on the left, the selection on the right beside
  // them while they keep 40 characters, else all in one column.
  std::vector<OverlayPanel*> left, rightColumn;
  for (OverlayPanel* p : {info, measure})
    if (p && !p->lines.empty()) left.push_back(p);
  for (OverlayPanel* p : {selection, legend})
    if (p && !p->lines.empty()) rightColumn.push_back(p);
  int rightWidth = 0;
  for (OverlayPanel* p : rightColumn) rightWidth = std::max(rightWidth, panelWidth(*p));
  bool right = !rightColumn.empty();
  int leftCols =
      right ? std::min(sideCols, charsFitting(width - rightWidth - 3 * panelMargin)) : sideCols;
  if (right && !left.empty() && leftCols < 40) {
    for (OverlayPanel* p : rightColumn)
      if (sideCols < cols || p == legend) fitRows(*p, sideCols);
    for (OverlayPanel* p : left) fitRows(*p, sideCols);
    auto at = left.begin() + (left[0] == info ? 1 : 0);
    left.insert(at, rightColumn.begin(), rightColumn.end());
  } else {
    for (OverlayPanel* p : left) fitRows(*p, leftCols);
    if (right) stack(rightColumn, width - panelMargin - rightWidth, panelMargin, rightBottom, cols);
  }
  stack(left, panelMargin, panelMargin, bottom, sideCols);
  std::erase_if(panels, [](const OverlayPanel& p) { return p.lines.empty(); });
}

} // namespace

int charsFitting(int px) {
  return std::max(0, (px - 2 * panelPadding) / fontAtlas.advance);
}

int rowsFitting(int px) {
  return std::max(0, (px - 2 * panelPadding) / fontAtlas.lineHeight);
}

void outlineBox(int width, int height, int box[4]) {
  box[0] = panelMargin;
  box[1] = panelMargin;
  box[2] = width < outlineWide ? width - panelMargin
                               : panelMargin + outlineChars * fontAtlas.advance + 2 * panelPadding;
  box[3] = height - panelMargin;
}

void layoutPanels(std::vector<OverlayPanel>& panels, int width, int height) {
  auto it = std::find_if(panels.begin(), panels.end(),
                         [](const OverlayPanel& p) { return p.kind == PanelKind::outline; });
  if (it == panels.end()) {
    layoutIn(panels, width, height);
    return;
  }
  OverlayPanel outline = std::move(*it);
  panels.erase(it);
  outlineBox(width, height, outline.box);
  int cols = charsFitting(outline.box[2] - outline.box[0]);
  size_t rows = size_t(rowsFitting(outline.box[3] - outline.box[1]));
  if (outline.lines.size() > rows) outline.lines.resize(rows);
  for (OverlayLine& l : outline.lines) cutLine(l.text, cols);
  if (width < outlineWide) {
    panels.clear();
  } else {
    int shift = outline.box[2];
    layoutIn(panels, width - shift, height);
    for (OverlayPanel& p : panels) {
      p.box[0] += shift;
      p.box[2] += shift;
    }
  }
  panels.insert(panels.begin(), std::move(outline));
}

void drawOverlay(std::vector<OverlayPanel> panels, int width, int height, unsigned& texture) {
  if (width < 1 || height < 1) return;
  layoutPanels(panels, width, height);
  if (panels.empty()) return;
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
    const int* box = p.box;
    glColor4f(0.05f, 0.05f, 0.07f, groundAlpha);
    glBegin(GL_TRIANGLES);
    quad(box[0], box[1], box[2], box[3], width, height);
    if (p.kind == PanelKind::axes) drawAxes(p, width, height);
    glEnd();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_TRIANGLES);
    if (p.kind == PanelKind::axes)
      drawAxesLabels(p, width, height);
    else
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

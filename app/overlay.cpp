// The panels over the scene: the help sheet (F1), the info panel (I), the selected lattice,
// the last messages, a comparison's legend, the axes marker (X) and the start screen; O hides
// and shows them all.
#include "overlay.h"
#include "compare.h"
#include "measure.h"
#include "merge.h"
#include "outline.h"

#include "controls.h"
#include "selection.h"

#include "platform/gl.h"
#include "render/frame.h"

#include <cstdio>

namespace {

const float warm[3] = {1.0f, 0.72f, 0.45f};
const float heading[3] = {1.0f, 0.86f, 0.55f};

// The text as the glyphs can show it: each character outside ASCII (a UTF-8 sequence) as one
// '?', not one a byte.
std::string shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text)
    if (c < 0x80)
      out += char(c);
    else if (c >= 0xC0 || out.empty() || out.back() != '?')
      out += '?';
  return out;
}

OverlayLine line(const std::string& text, const float* rgb = nullptr) {
  OverlayLine l;
  l.text = shown(text);
  if (rgb)
    for (int i = 0; i < 3; i++) l.rgb[i] = rgb[i];
  return l;
}

OverlayPanel helpPanel(const Viewer& v) {
  OverlayPanel p;
  p.kind = PanelKind::help;
  if (startScreen(v)) {
    p.lines.push_back(
        line("No map open. Ctrl+O opens one; so does a map file dropped on this", heading));
    p.lines.push_back(line("window, or start kelvane-viewer MAP.", heading));
    p.lines.push_back(line(""));
  }
  const std::string& f = v.overlay.helpFilter;
  if (f.empty())
    p.lines.push_back(line("Keys and mouse (F1 hides this; type to find)", heading));
  else
    p.lines.push_back(line("Keys and mouse with \"" + f + "\" (Backspace edits)", heading));
  size_t shownRows = 0;
  for (const HelpLine& h : helpLines(bindingsHere(v))) {
    std::string keys = h.keys, all = h.keys + " " + h.does;
    for (char& c : all) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (all.find(f) == std::string::npos) continue;
    keys.resize(18, ' ');
    p.lines.push_back(line(keys + h.does));
    shownRows++;
  }
  if (!shownRows) p.lines.push_back(line("no key or word holds \"" + f + "\""));
  return p;
}

// How the scene's triangles reach the driver.
std::string geometryHeld(const Viewer& v) {
  const RetainedScene& s = v.scene;
  size_t immediate = 0;
  for (const RetainedLattice& r : s.lattices) immediate += !r.arrays;
  std::string how = s.xyzBuffer      ? "buffer objects"
                    : s.vertices > 0 ? "client arrays"
                                     : "triangle by triangle";
  if (s.vertices > 0 && immediate)
    how += ", " + std::to_string(immediate) + " lattices triangle by triangle";
  if (s.boxes) how += ", " + std::to_string(s.boxes) + " as boxes";
  return how;
}

OverlayPanel infoPanel(const Viewer& v, DWORD now) {
  size_t fps = 0;
  for (DWORD t : v.overlay.frames) fps += DWORD(now - t) < 1000;
  OverlayPanel p;
  p.kind = PanelKind::info;
  std::string name = v.watch.name.substr(v.watch.name.find_last_of("/\\") + 1);
  p.lines = {line("map        " + (name.empty() ? std::string("none") : name)),
             line("lattices   " + std::to_string(drawnCount(v.lat)) + " drawn of " +
                  std::to_string(latticeCount(v.lat))),
             line("triangles  " + std::to_string(v.triangles)),
             line("geometry   " + geometryHeld(v)),
             line("frames/s   " + std::to_string(fps)),
             line("hidden     " + std::to_string(hiddenIndices(v).size())),
             line("pointer    " + pointerRow(v)),
             line(cameraLine(v))};
  for (const std::string& row : compareInfoLines(v)) p.lines.insert(p.lines.end() - 1, line(row));
  for (const std::string& row : mergeInfoLines(v)) p.lines.insert(p.lines.end() - 1, line(row));
  if (v.folderCount)
    p.lines.insert(p.lines.end() - 1, line("folder     map " + std::to_string(v.folderAt) + " of " +
                                           std::to_string(v.folderCount)));
  const Section& cut = v.vs.section;
  if (cut.keeps != SectionKeeps::all) {
    char row[80];
    std::snprintf(row, sizeof row, "section    at %.9g, %s hidden", double(cut.y),
                  cut.keeps == SectionKeeps::below ? "above" : "below");
    p.lines.insert(p.lines.end() - 1, line(row));
  }
  return p;
}

OverlayPanel selectionPanel(const Viewer& v) {
  OverlayPanel p;
  p.kind = PanelKind::selection;
  for (const std::string& s : selectionPanelLines(v.lat, v.selected)) p.lines.push_back(line(s));
  std::vector<std::string> change = changePanelLines(v);
  if (change.empty()) change = mergePanelLines(v);
  for (size_t k = 0; k < change.size(); k++)
    p.lines.push_back(line(change[k], k ? nullptr : heading));
  if (p.lines.empty()) return p;
  p.lines.front().rgb[1] = heading[1];
  p.lines.front().rgb[2] = heading[2];
  return p;
}

OverlayPanel measurePanel(const Viewer& v) {
  OverlayPanel p;
  p.kind = PanelKind::measure;
  for (const std::string& s : measurePanelLines(v.measure)) p.lines.push_back(line(s));
  if (!p.lines.empty()) p.lines.front() = line(p.lines.front().text, heading);
  return p;
}

OverlayPanel messagePanel(const Viewer& v, DWORD now) {
  OverlayPanel p;
  p.kind = PanelKind::messages;
  for (const Message& m : v.overlay.messages)
    if (DWORD(now - m.at) < messageTime)
      p.lines.push_back(line(m.text, m.warning ? warm : nullptr));
  if (v.edits.moving) // said for as long as it lasts
    p.lines.push_back(line("moving lattice " + std::to_string(v.selected) +
                               ": E D S F W R move, Left Right turn, M ends",
                           heading));
  return p;
}

// A comparison's legend: each change colour named, with how many lattices have it.
OverlayPanel legendPanel(const Viewer& v) {
  OverlayPanel p;
  p.kind = PanelKind::legend;
  const MapDiff& d = v.compare.diff;
  const struct {
    LatticeStyle style;
    const char* name;
    int count;
  } rows[] = {{LatticeStyle::added, "added", d.added},
              {LatticeStyle::moved, "moved", d.moved},
              {LatticeStyle::reshaped, "reshaped", d.reshaped},
              {LatticeStyle::both, "moved and reshaped", d.both},
              {LatticeStyle::removed, "removed", d.removed},
              {LatticeStyle::grey, "unchanged", d.unchanged}};
  p.lines.push_back(line("changes", heading));
  for (const auto& r : rows) {
    float rgb[3];
    styleColour(r.style, r.style == LatticeStyle::grey ? 0.8f : 1, rgb);
    p.lines.push_back(line(std::string(r.name) + " " + std::to_string(r.count), rgb));
  }
  return p;
}

// The axes marker: x red, y green, z blue, turned as the view is.
OverlayPanel axesPanel(const Viewer& v) {
  static const float red[3] = {1, 0.3f, 0.3f}, green[3] = {0.3f, 1, 0.3f},
                     blue[3] = {0.4f, 0.6f, 1};
  OverlayPanel p;
  p.kind = PanelKind::axes;
  p.lines = {line("x", red), line("y", green), line("z", blue)};
  p.turn[0] = v.trot[Trot::pitch];
  p.turn[1] = v.trot[Trot::yaw];
  return p;
}

} // namespace

std::vector<OverlayPanel> overlayPanels(const Viewer& v, DWORD now) {
  std::vector<OverlayPanel> panels;
  const Overlays& o = v.overlay;
  if (!o.shown) return panels;
  if (o.info) panels.push_back(infoPanel(v, now));
  if (v.start.windowPanels) { // the selection, or the removed lattice N went to
    OverlayPanel selection = selectionPanel(v);
    if (!selection.lines.empty()) panels.push_back(std::move(selection));
  }
  if (v.start.windowPanels && v.measure.count) panels.push_back(measurePanel(v));
  if (!v.compare.name.empty() && v.lat) panels.push_back(legendPanel(v));
  if (o.axes) panels.push_back(axesPanel(v));
  if (v.start.windowPanels) {
    OverlayPanel m = messagePanel(v, now);
    if (!m.lines.empty()) panels.push_back(m);
  }
  // The start screen shows the help until F1 hides it.
  if (o.help != startScreen(v)) panels.push_back(helpPanel(v));
  return panels;
}

void addPanels(Viewer& v, ViewDraw& d, std::vector<OverlayPanel>& panels) {
  DWORD now = GetTickCount();
  std::deque<DWORD>& f = v.overlay.frames;
  f.push_back(now);
  while (!f.empty() && DWORD(now - f.front()) >= 1000) f.pop_front();
  panels = overlayPanels(v, now);
  std::vector<OverlayPanel> outline = outlinePanels(v);
  panels.insert(panels.begin(), outline.begin(), outline.end());
  d.panels = &panels;
  d.glyphs = &v.overlay.texture;
}

void typeInHelp(Viewer& v, int c) {
  std::string& f = v.overlay.helpFilter;
  if (c == '\b') {
    if (!f.empty()) f.pop_back();
  } else if (f.size() < 40) {
    f += char(c);
  }
  v.redraw = true;
}

void closeHelp(Viewer& v) {
  v.overlay.help = false;
  v.overlay.helpFilter.clear();
  v.redraw = true;
}

void releaseOverlays(Viewer& v) {
  if (v.overlay.texture) glDeleteTextures(1, &v.overlay.texture);
  v.overlay.texture = 0;
}

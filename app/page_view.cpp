// The page's view of the viewer, made from the Viewer record after every frame, so the page
// shows what the viewer holds rather than copies kept up to date by hand.
#include "page_view.h"
#include "compare.h"
#include "measure.h"

#include "selection.h"

#include "mapfile/index_list.h"
#include "render/camera_text.h"

#include <algorithm>

std::string viewLink(const ViewerState& vs) {
  std::string link;
  // Each option P prints, "--name VALUE", as the link writes it: "name=VALUE".
  for (const std::string& option :
       {sectionText(vs.section), vs.ortho > 0 ? orthoText(vs.ortho) : std::string(),
        vs.farPlane > 0 ? farText(vs.farPlane) : std::string()}) {
    if (option.empty()) continue;
    if (!link.empty()) link += '&';
    size_t space = option.find(' ');
    link.append(option, 2, space - 2);
    link += '=';
    link.append(option, space + 1);
  }
  return link;
}

void fillPageView(Viewer& v) {
  PageView& p = v.page;
  p.running = true;
  std::copy(v.trot, v.trot + 5, p.camera);
  // The outline and the selection's details walk the list: made again only when they change.
  if (p.maps != v.maps) {
    p.outline = outlineText(v.lat);
    p.changes = changeKinds(v);
  }
  if (p.maps != v.maps || p.selected != v.selected || p.changeAt != v.compare.at ||
      p.edits != v.edits.applied) {
    p.lattice = latticeDetails(v.lat, v.selected);
    for (const std::string& row : changePanelLines(v)) p.lattice += row + '\n';
  }
  p.changeAt = v.compare.at;
  p.maps = v.maps;
  p.edits = v.edits.applied;
  p.selected = v.selected;
  p.hidden = v.hidden.empty() ? std::string() : formatIndexList(hiddenIndices(v));
  p.measure.clear();
  for (int k = 1; k <= v.measure.count; k++) {
    Measurement upTo = v.measure;
    upTo.count = k;
    if (k > 1) p.measure += '\n';
    p.measure += measureLine(upTo);
  }
  p.flight.clear();
  for (const Keyframe& k : v.flight)
    p.flight.push_back(keyframeLine(k).substr(9)); // the numbers after "--camera "
  p.playing = v.playing;
  p.unsaved = unsavedEdits(v);
  p.view = v.printed.line;
  p.viewCamera = v.printed.camera;
  p.viewHidden = v.printed.hidden;
  p.viewSelected = v.printed.selected;
  p.viewSection = v.printed.section;
  p.section = viewLink(v.vs);
  p.views = v.printed.count;
}

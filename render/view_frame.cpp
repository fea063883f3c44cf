// The frame as its passes, in one place.
#include "view_frame.h"

#include "compare.h"
#include "marks.h"

namespace {

void setProjectionPass(const ViewDraw& d) {
  if (d.projection == Projection::orthographic)
    viewOrtho(d.width, d.height, d.ortho, d.trot, d.box);
  else if (d.projection == Projection::perspective)
    viewProjection(d.width, d.height, d.farPlane);
}

void scenePass(const ViewDraw& d) {
  if (d.scene->lat == d.lat)
    drawRetainedFrame(*d.scene, d.trot, *d.vs, d.old);
  else
    drawFrame(d.lat, d.trot, *d.vs, d.scene->faces);
}

void comparisonPass(const ViewDraw& d) {
  if (d.old && d.scene->lat == d.lat)
    drawComparisonEdges(*d.old, d.trot, *d.vs, d.outlined, d.outlinedIndex);
}

void gridPass(const ViewDraw& d) {
  if (d.gridOf && d.grid) drawLatticeGrid(d.gridOf, d.trot, *d.vs, *d.grid);
}

void marksPass(const ViewDraw& d) {
  drawMeasureMarks(d.trot, d.points, d.pointCount);
}

void panelsPass(const ViewDraw& d) {
  if (d.panels && d.glyphs) drawOverlay(*d.panels, d.width, d.height, *d.glyphs);
}

} // namespace

void drawView(const ViewDraw& d) {
  setProjectionPass(d);
  scenePass(d);
  comparisonPass(d);
  gridPass(d);
  marksPass(d);
  panelsPass(d);
}

// Points, distances and cells: the measurement, the point under the pointer, the cell grid.
#pragma once

#include "viewer.h"

#include <string>
#include <vector>

// The line the latest point of `m` prints: "point A (X, Y, Z) on lattice L", or for B the same
// followed by ": distance D (dx DX, dy DY, dz DZ)". "" with no point.
std::string measureLine(const Measurement& m);
// Sets the next point of the measurement where pixel (x, y) meets the scene (after B, a new
// A) and says it; the background sets nothing.
void measureAt(Viewer& v, int x, int y);
// The measurement panel's rows: a heading, A and B with their lattices, the distance and its
// parts; none without a point.
std::vector<std::string> measurePanelLines(const Measurement& m);
void clearMeasurement(Viewer& v);
// Looks for the point under the pointer while the info panel shows it, when the pointer or the
// camera moved, at most every 100 ms, in scenes of at most 2 M triangles.
void hoverCommand(Viewer& v);
// Milliseconds from `now` until hoverCommand wants to look again; INFINITE when it does not.
DWORD hoverWait(const Viewer& v, DWORD now);
// The info panel's pointer row: "(X, Y, Z) on lattice L", or "-" over the background.
std::string pointerRow(const Viewer& v);
// What the view draws over the scene (ViewDraw): the cell grid of the selected lattice when G
// shows it, and the measurement's marks.
void addMarks(Viewer& v, ViewDraw& d);

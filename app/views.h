// Numpad 5 and the axis views, the orthographic projection and its Home.
#pragma once

#include "viewer.h"

// Numpad 5 and the axis views (views.cpp).
void viewAction(Viewer& v, Action a);
// Home in an orthographic view: frames the selection, or what is shown, orthographically;
// false in a perspective view, or when nothing is drawn.
bool fitOrthoView(Viewer& v);
// The projection of the next frame, into `d`: the orthographic one in an orthographic view, the
// perspective one with a pushed far plane, and the plain one again when the view has just left
// either; else the one kept, so plain perspective frames make no more calls than before.
void frameProjection(Viewer& v, ViewDraw& d);
// Home: the view keeps its yaw, looks down at least 10 degrees, and frames the selected
// lattice, or what is shown (orthographically in an orthographic view); a scene deeper than
// the plain view's 1000 units pushes the far plane out to hold it (until F5 or the next Home).
void fitView(Viewer& v);
// The point an orbit begun at pixel (x, y) turns about, in the world: the point under the
// pointer there, else the selected lattice's middle, else the scene's, else the point the
// camera turns about (50 units ahead).
void orbitPivot(Viewer& v, int x, int y, double pivot[3]);

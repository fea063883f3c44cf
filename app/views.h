// Numpad 5 and the axis views, the orthographic projection and its Home.
#pragma once

#include "viewer.h"

// Numpad 5 and the axis views (views.cpp).
void viewAction(Viewer& v, Action a);
// Home in an orthographic view: frames the selection, or what is shown, orthographically;
// false in a perspective view, or when nothing is drawn.
bool fitOrthoView(Viewer& v);
// Sets the orthographic projection for the frame, or the perspective one again when the view
// has just left it; nothing otherwise, so perspective frames make no more calls than before.
void setProjection(Viewer& v);
// Home: the view keeps its yaw, looks down at least 10 degrees, and frames the selected
// lattice, or what is shown (orthographically in an orthographic view). A scene deeper than
// the view reaches is said once a map.
void fitView(Viewer& v);

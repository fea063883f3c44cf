// The key-down table and the per-pass camera step.
#pragma once

#include "controls.h"

#include "platform/win32.h"
#include "render/view_state.h"

// A key press or release (decodeInput) sets or clears its key's entry; losing the keyboard
// focus clears every entry (a key released over another window sends no key-up here).
void updateKeyTable(unsigned char key[256], const Input& in);
// Moves trot one step for every movement key down and sets the axis flag from 'T'.
void cameraStep(const unsigned char key[256], float trot[Trot::size], ViewerState& vs);

// What the mouse is doing between its messages.
struct Pointer {
  bool turning = false, panning = false; // the left button is down; the right one
  int orbiting = 0;         // the button orbiting: 0 none, 1 left (with Shift), 2 middle
  double pivot[3] = {};     // the world point an orbit turns about
  bool clickable = false;   // the left press may still end as a click
  int x = 0, y = 0;         // last position, client pixels
  int downX = 0, downY = 0; // where the left button went down
  int wheel = 0;            // wheel units not yet made into steps
};

// Wheel units per 'E' step: a notch (120) is four steps.
constexpr int wheelStep = 30;

// Moves trot for a mouse message: a left drag turns (a quarter of an arrow step per pixel), a
// right drag pans (a tenth of an 'S' or 'W' step per pixel, the scene following the pointer),
// a middle drag or a left one begun with Shift orbits about p.pivot (set before the press
// comes here; a quarter of a degree per pixel), the wheel moves as 'E' and 'D' steps, each
// wheel step `wheelSteps` of them. True when the message ends a click: the left button
// released within 4 pixels of where it went down, no other button pressed meanwhile; the
// click's place is then (p.x, p.y).
bool pointerStep(Pointer& p, const MSG& msg, float trot[Trot::size], int wheelSteps = 1);

// Turns the view `yaw` and `pitch` degrees about the world point `pivot`: the point stays
// where it is in the eye's space, so at the same pixel, in either projection.
void orbitStep(float trot[Trot::size], const double pivot[3], double yaw, double pitch);

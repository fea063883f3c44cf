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
  bool turning = false, panning = false; // the left button is down; the right or middle one
  bool clickable = false;                // the left press may still end as a click
  int x = 0, y = 0;                      // last position, client pixels
  int downX = 0, downY = 0;              // where the left button went down
  int wheel = 0;                         // wheel units not yet made into steps
};

// Wheel units per 'E' step: a notch (120) is four steps.
constexpr int wheelStep = 30;

// Moves trot for a mouse message: a left drag turns (a quarter of an arrow step per pixel), a
// right or middle drag pans (a tenth of an 'S' or 'W' step per pixel, the scene following the
// pointer), the wheel moves as 'E' and 'D' steps. True when the message ends a click: the left
// button released within 4 pixels of where it went down, no other button pressed meanwhile;
// the click's place is then (p.x, p.y).
bool pointerStep(Pointer& p, const MSG& msg, float trot[Trot::size]);

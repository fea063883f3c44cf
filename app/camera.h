// The key-down table and the per-pass camera step.
#pragma once

#include "app/viewer_state.h"
#include "platform/win32.h"

// Camera record positions.
enum { tx = 0, ty = 1, tz = 2, pitch = 3, yaw = 4, selectedLattice = 6, trotSize = 10 };

// Key-down and key-up messages set and clear their key's entry; nothing else touches it.
void updateKeyTable(unsigned char key[256], const MSG& msg);
// Moves trot one step for every movement key down and sets the axis flag from 'T'.
void cameraStep(const unsigned char key[256], float trot[trotSize], ViewerState& vs);

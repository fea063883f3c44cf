// The key-down table and the per-pass camera step.
#pragma once

#include "platform/win32.h"
#include "render/view_state.h"

// Key-down and key-up messages set and clear their key's entry; losing the keyboard focus
// clears every entry (a key released over another window sends no key-up here).
void updateKeyTable(unsigned char key[256], const MSG& msg);
// Moves trot one step for every movement key down and sets the axis flag from 'T'.
void cameraStep(const unsigned char key[256], float trot[Trot::size], ViewerState& vs);

// Flights: keyframes from the view, played back, printed and read from a dropped file.
#pragma once

#include "viewer.h"

#include <string>

// While a flight plays, the camera follows it.
void flightCommand(Viewer& v);
// Enter: the view becomes the flight's next keyframe.
void addKeyframe(Viewer& v);
// Ctrl+Enter: prints the flight as a keyframe file.
void sayFlight(Viewer& v);
// Shift+Enter: plays the flight from its start.
void startFlight(Viewer& v);
// Stops a flight where it is, saying `why`.
void stopFlight(Viewer& v, const char* why);
// Ctrl+Backspace: forgets the keyframes.
void forgetFlight(Viewer& v);
// Makes the keyframe file `name` the flight, when the file is one (it starts, after blank space,
// with '#' or "--camera"); what is wrong with it is said and the flight kept. False when it is
// no keyframe file (or cannot be read): a map, then.
bool openDroppedFlight(Viewer& v, const std::string& name);
// Puts the camera where keyframe `n` (from 1) of the flight has it, or says there is none.
void recallKeyframe(Viewer& v, int n);

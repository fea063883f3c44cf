// The text of cameras and flights, written and read in one place: the --camera value P prints
// and `kelvane render` reads, and keyframe files (a --camera line a keyframe).
#pragma once

#include "flight.h"
#include "view_state.h"

#include <string>
#include <vector>

// One finite decimal number, as a 32-bit float: no hexadecimal, no "inf" or "nan", nothing
// that overflows a float.
bool decimal(const std::string& s, float& v);

// "--camera TX,TY,TZ,PITCH,YAW" for trot positions 0-4, with %.9g numbers (read back exactly).
std::string cameraText(const float camera[5]);

// "--section Y" (the part below height Y kept) or "--section-above Y", with a %.9g number;
// "" without a cut.
std::string sectionText(const Section& s);
// "--ortho H": an orthographic view `half` units high above and below its middle (%.9g).
std::string orthoText(float half);
// "--far D": how far the view reaches, as render takes it (%.9g).
std::string farText(float farPlane);

// --camera's value: five decimal numbers TX,TY,TZ,PITCH,YAW separated by commas into `camera`;
// an empty or extra field is an error, said in `err`.
bool parseCameraText(const std::string& s, float camera[5], std::string& err);

// cameraText, and " --hold SECONDS" when it holds.
std::string keyframeLine(const Keyframe& k);

// The flight as a keyframe file: a comment line, then keyframeLine a line.
std::string flightText(const std::vector<Keyframe>& keys);

// A keyframe file: a keyframe a line, "--camera TX,TY,TZ,PITCH,YAW" optionally followed by
// "--hold SECONDS" (0 to 3600); '#' starts a comment; blank lines count for nothing. False with
// `err` naming the line (from 1) and what is wrong, or when there is no keyframe at all.
bool parseFlight(const std::string& text, std::vector<Keyframe>& keys, std::string& err);

// The values the `kelvane` command line takes: sizes, cameras, lattice indices. Each parser
// takes the whole text and says what it expected when the text is not that.
#pragma once

#include "toolkit.h"

#include "render/camera_text.h"

#include <string>
#include <string_view>
#include <vector>

// A whole number from `lo` to `hi`, all of `s` (no sign, blank or other text around it).
bool wholeIn(std::string_view s, int lo, int hi, int& v);

// --size "WxH" with both sides from 1 to 16384.
bool parseSize(const std::string& s, int& w, int& h, std::string& err);

// --camera: five decimal numbers TX,TY,TZ,PITCH,YAW separated by commas; an empty or extra field
// is an error.
bool parseCamera(const std::string& s, Camera& cam, std::string& err);

// --select's lattice index, a whole number from 0 to 65534; -1 when not `given`.
bool parseSelect(bool given, const std::string& s, int& select, std::string& err);

// --hide's list of lattice indices ("2,5-9,14"); none when not `given`.
bool parseHide(bool given, const std::string& s, std::vector<int>& hide, std::string& err);

// --section's or --section-above's height (`below`, `above`: their values, null when not
// given) into `cut`: a finite decimal number, and not both.
bool parseSection(const std::string* below, const std::string* above, Section& cut,
                  std::string& err);

// --ortho's half-height: a positive finite decimal number; 0 when not `given`.
bool parseOrtho(bool given, const std::string& s, float& half, std::string& err);

// --far's distance: a finite decimal number of at least 1; 0 (the plain view's) when not
// `given`.
bool parseFar(bool given, const std::string& s, float& farPlane, std::string& err);

// Whether a flight's -o names a video: a name ending in .webm, in any case.
bool videoName(const std::string& out);
// Whether it names a video of a kind --path does not write (.mp4, .mkv, ...), in any case.
bool otherVideoName(const std::string& out);

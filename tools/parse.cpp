// The command line's value parsers.
#include "parse.h"

#include "mapfile/index_list.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>

bool wholeIn(std::string_view s, int lo, int hi, int& v) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size() && v >= lo && v <= hi;
}

bool parseSize(const std::string& s, int& w, int& h, std::string& err) {
  size_t x = s.find_first_of("xX");
  if (x == std::string::npos || !wholeIn(std::string_view(s).substr(0, x), 1, 16384, w) ||
      !wholeIn(std::string_view(s).substr(x + 1), 1, 16384, h)) {
    err = "--size: expected WIDTHxHEIGHT, each from 1 to 16384, e.g. 640x480 (got '" + s + "')";
    return false;
  }
  return true;
}

bool parseCamera(const std::string& s, Camera& cam, std::string& err) {
  return parseCameraText(s, cam.trot, err);
}

bool parseSelect(bool given, const std::string& s, int& select, std::string& err) {
  select = -1;
  if (!given || wholeIn(s, 0, 65534, select)) return true;
  err = "--select: expected a lattice index, a whole number from 0 to 65534 (got '" + s + "')";
  return false;
}

bool parseHide(bool given, const std::string& s, std::vector<int>& hide, std::string& err) {
  hide.clear();
  if (!given || parseIndexList(s, 65534, hide, err)) return true;
  err = "--hide: " + err;
  return false;
}

bool parseSection(const std::string* below, const std::string* above, Section& cut,
                  std::string& err) {
  cut = Section{};
  if (below && above) {
    err = "--section and --section-above: give one (the part kept is below or above)";
    return false;
  }
  const std::string* s = below ? below : above;
  if (!s) return true;
  if (!decimal(*s, cut.y)) {
    err = std::string(below ? "--section" : "--section-above") +
          ": expected a height, a decimal number (got '" + *s + "')";
    return false;
  }
  cut.keeps = below ? SectionKeeps::below : SectionKeeps::above;
  return true;
}

bool parseOrtho(bool given, const std::string& s, float& half, std::string& err) {
  half = 0;
  if (!given) return true;
  if (decimal(s, half) && half > 0) return true;
  half = 0;
  err = "--ortho: expected the view's half-height, a positive number (got '" + s + "')";
  return false;
}

bool parseFar(bool given, const std::string& s, float& farPlane, std::string& err) {
  farPlane = 0;
  if (!given) return true;
  if (decimal(s, farPlane) && farPlane >= 1) return true;
  farPlane = 0;
  err = "--far: expected how far the view reaches, a number of at least 1 (got '" + s + "')";
  return false;
}

bool videoName(const std::string& out) {
  std::string end = out.size() >= 5 ? out.substr(out.size() - 5) : "";
  for (char& c : end) c = char(std::tolower((unsigned char)c));
  return end == ".webm";
}

bool otherVideoName(const std::string& out) {
  size_t dot = out.rfind('.');
  if (dot == std::string::npos || out.find_first_of("/\\", dot) != std::string::npos) return false;
  std::string ext = out.substr(dot + 1);
  for (char& c : ext) c = char(std::tolower((unsigned char)c));
  for (const char* v : {"mp4", "m4v", "mkv", "mov", "avi", "ogv", "ogg", "gif", "wmv", "flv", "mpg",
                        "mpeg", "ts", "apng"})
    if (ext == v) return true;
  return false;
}

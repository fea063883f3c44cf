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

bool decimal(const std::string& s, float& v) {
  if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* end = nullptr;
  v = std::strtof(s.c_str(), &end);
  return *end == 0 && std::isfinite(v);
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
  size_t start = 0;
  for (int n = 0; n < 5; n++) {
    size_t comma = s.find(',', start);
    if ((n == 4) != (comma == std::string::npos) ||
        !decimal(s.substr(start, comma - start), cam.trot[n])) {
      err = "--camera: expected five finite decimal numbers TX,TY,TZ,PITCH,YAW, e.g. "
            "0,0,0,10,-30 (got '" +
            s + "')";
      return false;
    }
    start = comma + 1;
  }
  return true;
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

namespace {

// What a message quotes of the user's text: at most 40 characters, "..." for the rest.
std::string quote(const std::string& s) {
  return s.size() > 40 ? s.substr(0, 37) + "..." : s;
}

} // namespace

bool parseFlight(const std::string& text, std::vector<Keyframe>& keys, std::string& err) {
  keys.clear();
  std::istringstream in(text);
  std::string line;
  for (int n = 1; std::getline(in, line); n++) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string s; words >> s;) w.push_back(s);
    if (w.empty()) continue;
    std::string at = "line " + std::to_string(n) + ": ";
    Keyframe k;
    Camera cam;
    float hold = 0;
    if (w[0] != "--camera" || w.size() < 2) {
      err =
          at + "expected --camera TX,TY,TZ,PITCH,YAW [--hold SECONDS] (got '" + quote(w[0]) + "')";
      return false;
    }
    if (!parseCamera(w[1], cam, err)) {
      if (w[1].size() > 40) // the reason quotes it whole: say it shorter
        err = "--camera: expected TX,TY,TZ,PITCH,YAW (got '" + quote(w[1]) + "')";
      err = at + err;
      return false;
    }
    if (w.size() > 2 && w[2] != "--hold") {
      err = at + "after the camera only --hold SECONDS may follow (got '" + quote(w[2]) + "')";
      return false;
    }
    if (w.size() > 2 && (w.size() != 4 || !decimal(w[3], hold) || hold < 0 || hold > 3600)) {
      err = at + "--hold: expected seconds from 0 to 3600 (got '" +
            quote(w.size() > 3 ? w[3] : std::string()) + "')";
      return false;
    }
    std::copy(cam.trot, cam.trot + 5, k.camera);
    k.hold = hold;
    keys.push_back(k);
  }
  if (keys.empty()) err = "no keyframe: each line is --camera TX,TY,TZ,PITCH,YAW [--hold SECONDS]";
  return !keys.empty();
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

// Camera and keyframe text: what P prints, --camera and keyframe files read.
#include "camera_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

// What a message quotes of the user's text: at most 40 characters, "..." for the rest.
std::string quote(const std::string& s) {
  return s.size() > 40 ? s.substr(0, 37) + "..." : s;
}

} // namespace

bool decimal(const std::string& s, float& v) {
  if (s.empty() || s.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* end = nullptr;
  v = std::strtof(s.c_str(), &end);
  return *end == 0 && std::isfinite(v);
}

std::string cameraText(const float camera[5]) {
  char b[200];
  const float* c = camera;
  int n = std::snprintf(b, sizeof b, "--camera %.9g,%.9g,%.9g,%.9g,%.9g", double(c[0]),
                        double(c[1]), double(c[2]), double(c[3]), double(c[4]));
  return std::string(b, size_t(n));
}

std::string sectionText(const Section& s) {
  if (s.keeps == SectionKeeps::all) return "";
  char b[64];
  int n =
      std::snprintf(b, sizeof b, "%s %.9g",
                    s.keeps == SectionKeeps::below ? "--section" : "--section-above", double(s.y));
  return std::string(b, size_t(n));
}

std::string orthoText(float half) {
  char b[48];
  int n = std::snprintf(b, sizeof b, "--ortho %.9g", double(half));
  return std::string(b, size_t(n));
}

std::string farText(float farPlane) {
  char b[48];
  int n = std::snprintf(b, sizeof b, "--far %.9g", double(farPlane));
  return std::string(b, size_t(n));
}

bool parseCameraText(const std::string& s, float camera[5], std::string& err) {
  size_t start = 0;
  for (int n = 0; n < 5; n++) {
    size_t comma = s.find(',', start);
    if ((n == 4) != (comma == std::string::npos) ||
        !decimal(s.substr(start, comma - start), camera[n])) {
      err = "--camera: expected five finite decimal numbers TX,TY,TZ,PITCH,YAW, e.g. "
            "0,0,0,10,-30 (got '" +
            s + "')";
      return false;
    }
    start = comma + 1;
  }
  return true;
}

std::string keyframeLine(const Keyframe& k) {
  std::string s = cameraText(k.camera);
  if (k.hold > 0) {
    char b[40];
    std::snprintf(b, sizeof b, " --hold %g", k.hold);
    s += b;
  }
  return s;
}

std::string flightText(const std::vector<Keyframe>& keys) {
  char head[120];
  std::snprintf(head, sizeof head, "# kelvane flight: %zu keyframes, %g seconds\n", keys.size(),
                flightDuration(keys));
  std::string s = head;
  for (const Keyframe& k : keys) {
    s += keyframeLine(k);
    s += '\n';
  }
  return s;
}

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
    float hold = 0;
    if (w[0] != "--camera" || w.size() < 2) {
      err =
          at + "expected --camera TX,TY,TZ,PITCH,YAW [--hold SECONDS] (got '" + quote(w[0]) + "')";
      return false;
    }
    if (!parseCameraText(w[1], k.camera, err)) {
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
    k.hold = hold;
    keys.push_back(k);
  }
  if (keys.empty()) err = "no keyframe: each line is --camera TX,TY,TZ,PITCH,YAW [--hold SECONDS]";
  return !keys.empty();
}

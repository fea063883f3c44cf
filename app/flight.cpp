// Flights in the viewer: Enter adds the view as a keyframe, the digits 1 to 9 jump to one,
// Ctrl+Enter prints the flight as a keyframe file, Shift+Enter plays it (any key stops it),
// Ctrl+Backspace forgets it. A keyframe file dropped on the window becomes the flight.
#include "flight.h"

#include "platform/system.h"

#include "platform/messages.h"
#include "render/camera_text.h"

#include <algorithm>
#include <cstdio>

void sayFlight(Viewer& v) {
  if (v.flight.empty()) {
    say(v, "no keyframes: Enter adds the view as one");
    return;
  }
  std::string text = flightText(v.flight);
  for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    say(v, text.substr(at, nl - at));
}

void startFlight(Viewer& v) {
  if (v.flight.empty()) {
    say(v, "no keyframes to play: Enter adds the view as one");
    return;
  }
  v.playing = true;
  v.playStart = GetTickCount();
  char line[120];
  std::snprintf(line, sizeof line, "playing %zu keyframes, %g seconds", v.flight.size(),
                flightDuration(v.flight));
  say(v, line);
}

void stopFlight(Viewer& v, const char* why) {
  v.playing = false;
  say(v, why);
}

void addKeyframe(Viewer& v) {
  Keyframe k;
  std::copy(v.trot, v.trot + 5, k.camera);
  v.flight.push_back(k);
  say(v, "keyframe " + std::to_string(v.flight.size()) + ": " + keyframeLine(k));
}

void forgetFlight(Viewer& v) {
  if (v.flight.empty()) return;
  v.flight.clear();
  say(v, "flight cleared");
}

void recallKeyframe(Viewer& v, int n) {
  if (n < 1 || size_t(n) > v.flight.size()) {
    say(v, "no keyframe " + std::to_string(n) + ": the flight has " +
               std::to_string(v.flight.size()) + " (Enter adds the view as one)");
    return;
  }
  const Keyframe& k = v.flight[size_t(n) - 1];
  std::copy(k.camera, k.camera + 5, v.trot);
  say(v, "keyframe " + std::to_string(n) + ": " + keyframeLine(k));
}

bool openDroppedFlight(Viewer& v, const std::string& name) {
  constexpr size_t most = size_t(1) << 20; // a keyframe file is a few lines a keyframe
  std::string why; // a pipe or device is not waited on: the map's load says why it is refused
  std::FILE* f = openRegularFile(name, why);
  if (!f) return false;
  std::string text(most + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), f));
  std::fclose(f);
  size_t at = text.find_first_not_of(" \t\r\n");
  if (at == std::string::npos || (text[at] != '#' && text.compare(at, 8, "--camera") != 0))
    return false;
  std::vector<Keyframe> keys;
  std::string err;
  if (text.size() > most) {
    sayWarning(v, name + ": a keyframe file of more than 1 MiB; the flight stays as it was");
  } else if (!parseFlight(text, keys, err)) {
    sayWarning(v, name + ": " + err + "; the flight stays as it was");
  } else {
    v.playing = false;
    v.flight = std::move(keys);
    char line[80];
    std::snprintf(line, sizeof line, ": %zu keyframes, %g seconds (Shift+Enter plays it)",
                  v.flight.size(), flightDuration(v.flight));
    say(v, "flight from " + name + line);
  }
  return true;
}

void flightCommand(Viewer& v) {
  if (!v.playing) return;
  double t = double(DWORD(GetTickCount() - v.playStart)) / 1000;
  flightCamera(v.flight, t, v.trot);
  if (t >= flightDuration(v.flight)) stopFlight(v, "flight played");
}

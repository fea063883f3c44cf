// What the viewer says: each line goes to stdout or stderr as before, and to the window's
// messages, which a user without a terminal reads.
#include "viewer.h"

#include <cstdio>

namespace {

void remember(Viewer& v, const std::string& line, bool warning) {
  std::deque<Message>& m = v.overlay.messages;
  m.push_back({line, warning, GetTickCount()});
  v.redraw = true;
  while (m.size() > messageCount) m.pop_front();
}

} // namespace

void say(Viewer& v, const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  remember(v, line, false);
}

void sayWarning(Viewer& v, const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  remember(v, line, true);
}

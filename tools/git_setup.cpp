// `kelvane git-setup`: what makes git diff, merge and show maps through this program
// (.gitattributes, the textconv, the merge driver, the diff and merge tools), each added only
// when it is not there yet.
#include "command.h"

#include "platform/output.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

// `s` as one word of a POSIX shell command (git runs textconv, drivers and tools through sh,
// on Windows too): single-quoted, with forward slashes, which git's sh takes on every system.
std::string shellWord(std::string s) {
#ifdef _WIN32
  for (char& c : s)
    if (c == '\\') c = '/';
#endif
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

// One git call: its output (trimmed) and exit status; false after saying why git did not run.
// A question (`quiet`) keeps git's complaints to itself: its status answers.
bool git(std::vector<std::string> args, std::string& out, int& status, bool quiet = true) {
  args.insert(args.begin(), "git");
  std::string err;
  if (!runProgram(args, out, status, err, quiet)) {
    fail("git-setup", "git cannot be run (" + err + "); install git first");
    return false;
  }
  out = trimmed(out);
  return true;
}

const char* const attributes = "*.map diff=kelvane merge=kelvane";

// Whether `text` (a gitattributes file) has the line `attributes`, blanks aside.
bool hasAttributes(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> want{"*.map", "diff=kelvane", "merge=kelvane"};
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (w == want) return true;
  }
  return false;
}

// The attributes file of the scope: the repository's .gitattributes, or the user's own
// (core.attributesFile, else git's place for it under the XDG configuration folder).
bool attributesFile(bool global, std::string& path) {
  std::string out;
  int status = 0;
  if (!global) {
    if (!git({"rev-parse", "--show-toplevel"}, out, status)) return false;
    if (status != 0 || out.empty()) {
      fail("git-setup", "not inside a git repository: run it in one, or give --global");
      return false;
    }
    path = out + "/.gitattributes";
    return true;
  }
  if (!git({"config", "--global", "--get", "core.attributesFile"}, out, status)) return false;
  const char* home = std::getenv("HOME");
  if (status == 0 && !out.empty()) {
    path = out.rfind("~/", 0) == 0 && home ? std::string(home) + out.substr(1) : out;
    return true;
  }
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg)
    path = std::string(xdg) + "/git/attributes";
  else if (home && *home)
    path = std::string(home) + "/.config/git/attributes";
  else {
    fail("git-setup", "neither XDG_CONFIG_HOME nor HOME is set: no place for the attributes");
    return false;
  }
  return true;
}

// Adds the attributes line to `path` unless it is there; `said` counts what was added.
bool addAttributes(const std::string& path, int& said) {
  std::string text;
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(path, "cannot be read") == 0;
    char b[4096];
    for (size_t n; (n = std::fread(b, 1, sizeof b, f)) > 0;) text.append(b, n);
    std::fclose(f);
  }
  if (hasAttributes(text)) return true;
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += attributes;
  text += '\n';
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::string err;
  if (!writeFile(path, text, err)) return fail(path, err) == 0;
  std::printf("added to %s: %s\n", path.c_str(), attributes);
  said++;
  return true;
}

struct Entry {
  std::string key, value;
  bool ours; // a key of kelvane's own: a different value is replaced (a moved program)
};

} // namespace

int runGitSetup(const Options& o) {
  std::string self = selfPath();
  if (self.empty()) return fail("git-setup", "cannot find this program's own file");
  std::filesystem::path dir = std::filesystem::path(self).parent_path();
#ifdef _WIN32
  std::string viewer = (dir / "kelvane-viewer.exe").string();
#else
  std::string viewer = (dir / "kelvane-viewer").string();
#endif
  std::string k = shellWord(self), v = shellWord(viewer);
  // The tools run for whatever file git hands them: maps open in the viewer, other files are
  // compared as text or refused, saying which tool to use.
  std::vector<Entry> entries = {
      {"diff.kelvane.textconv", k + " dump", true},
      {"merge.kelvane.name", "Kelvane map merge (kelvane merge)", true},
      {"merge.kelvane.driver", k + " merge %O %A %B -o %A", true},
      {"difftool.kelvane.cmd",
       "case \"$MERGED\" in *.map|*.MAP) exec " + v +
           " --compare \"$LOCAL\" \"$REMOTE\";; *) exec git diff --no-index -- \"$LOCAL\" "
           "\"$REMOTE\";; esac",
       true},
      {"mergetool.kelvane.cmd",
       "case \"$MERGED\" in *.map|*.MAP) exec " + v +
           " --merge \"$BASE\" \"$LOCAL\" \"$REMOTE\" \"$MERGED\";; *) echo \"kelvane: $MERGED "
           "is not a map: git mergetool -t TOOL $MERGED\" >&2; exit 1;; esac",
       true},
      {"mergetool.kelvane.trustExitCode", "true", true},
      {"diff.tool", "kelvane", false},
      {"merge.tool", "kelvane", false},
  };
  std::string path;
  if (!attributesFile(o.global, path)) return 1;
  int said = 0;
  if (!addAttributes(path, said)) return 1;
  const char* scope = o.global ? "--global" : "--local";
  for (const Entry& e : entries) {
    std::string now;
    int status = 0;
    // diff.tool and merge.tool count wherever they are set: one chosen already is kept.
    std::vector<std::string> get = {"config", "--get", e.key};
    if (e.ours) get.insert(get.begin() + 1, scope);
    if (!git(get, now, status)) return 1;
    if (status == 0 && now == e.value) continue;
    if (status == 0 && !e.ours) {
      std::printf("left %s = %s (git %s -t kelvane opens maps in the viewer)\n", e.key.c_str(),
                  now.c_str(), e.key == "diff.tool" ? "difftool" : "mergetool");
      continue;
    }
    std::string out;
    if (!git({"config", scope, e.key, e.value}, out, status, false)) return 1;
    if (status != 0) return fail("git-setup", "git config " + e.key + " failed");
    if (now.empty())
      std::printf("set %s = %s\n", e.key.c_str(), e.value.c_str());
    else
      std::printf("changed %s = %s (was %s)\n", e.key.c_str(), e.value.c_str(), now.c_str());
    said++;
  }
  if (!said) std::printf("git-setup: everything was set up already; nothing added\n");
  return 0;
}

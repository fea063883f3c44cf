// Outputs that are never half-written: a temporary beside the target, renamed into place when
// complete; on failure (or an interrupting signal) the temporary is removed and an existing
// target stays as it was.
#include "toolkit.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

// The temporary being written, removed by the signal handler; one output at a time. The
// name is complete before `pendingSet` says so and is not touched while it does, so the
// handler never reads a name being written.
char pending[4096];
volatile std::sig_atomic_t pendingSet = 0;

// Only async-signal-safe calls: unlink, signal, raise.
extern "C" void removePending(int sig) {
  if (pendingSet) unlink(pending);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void watchSignals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int sig : {SIGINT, SIGTERM
#ifndef _WIN32
                  ,
                  SIGHUP
#endif
       })
    std::signal(sig, removePending);
}

// A new file beside `path` that no one else is writing, opened for binary writing.
std::FILE* createTemp(const std::string& path, std::string& temp) {
  std::filesystem::path p(path);
  for (int attempt = 0; attempt < 100; attempt++) {
    std::string name = ".";
    name += p.filename().string();
    name += ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    temp = (p.parent_path() / name).string();
#ifdef _WIN32
    int fd = _open(temp.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* f = fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
    int fd = open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    std::FILE* f = fd < 0 ? nullptr : fdopen(fd, "wb");
#endif
    if (f || errno != EEXIST) return f;
  }
  return nullptr;
}

} // namespace

bool openOutput(const std::string& path, Output& out, std::string& err) {
  out = Output{path, "", nullptr};
  struct stat st;
  if (path == "-") {
    out.f = stdout;
  } else if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    out.f = std::fopen(path.c_str(), "wb"); // a device or a pipe: nothing to rename
  } else {
    watchSignals();
    out.f = createTemp(path, out.temp);
    if (out.f && out.temp.size() < sizeof pending) {
      std::memcpy(pending, out.temp.c_str(), out.temp.size() + 1);
      pendingSet = 1;
    }
  }
  if (!out.f) err = std::strerror(errno);
  return out.f != nullptr;
}

bool commitOutput(Output& out, bool ok, std::string& err) {
  if (ok && std::ferror(out.f)) {
    ok = false;
    err = std::strerror(errno ? errno : EIO);
  }
  int closed = out.f == stdout ? std::fflush(out.f) : std::fclose(out.f);
  if (ok && closed != 0) {
    ok = false;
    err = std::strerror(errno);
  }
  out.f = nullptr;
  if (out.temp.empty()) return ok;
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(out.temp, out.path, ec);
    if (ec) {
      ok = false;
      err = ec.message();
    }
  }
  pendingSet = 0;
  if (!ok) std::filesystem::remove(out.temp, ec);
  return ok;
}

bool writeFile(const std::string& path, const std::string& bytes, std::string& err) {
  Output out;
  if (!openOutput(path, out, err)) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out.f) == bytes.size();
  if (!ok) err = std::strerror(errno);
  return commitOutput(out, ok, err);
}

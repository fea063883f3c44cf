// Outputs that are never half-written: a temporary beside the target, renamed into place when
// complete; on failure (or an interrupting signal) the temporary is removed and an existing
// target stays as it was.
#include "output.h"

#include <atomic>
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
// handler never reads a name being written; the fences keep the compiler from moving the
// name's bytes past the flag.
char pending[4096];
volatile std::sig_atomic_t pendingSet = 0;

void publishPending(const std::string& temp) {
  if (temp.size() >= sizeof pending) return;
  std::memcpy(pending, temp.c_str(), temp.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  pendingSet = 1;
}

void withdrawPending() {
  pendingSet = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Only async-signal-safe calls: unlink, signal, raise.
extern "C" void removePending(int sig) {
  if (pendingSet) unlink(pending);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// Whether the signal is ignored, as `nohup` and a script's background jobs leave SIGHUP and
// SIGINT: such a signal is no request to stop, and stays ignored.
bool ignored(int sig) {
#ifdef _WIN32
  void (*was)(int) = std::signal(sig, SIG_IGN);
  std::signal(sig, was);
  return was == SIG_IGN;
#else
  struct sigaction now;
  return sigaction(sig, nullptr, &now) == 0 && now.sa_handler == SIG_IGN;
#endif
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
    if (!ignored(sig)) std::signal(sig, removePending);
}

// The file a name finally stands for: a symbolic link is followed (to a target that need not
// exist yet), so replacing the output replaces the target and keeps the link.
std::filesystem::path linkTarget(const std::string& path) {
  std::filesystem::path p(path);
  std::error_code ec;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(p, ec); hops++) {
    std::filesystem::path to = std::filesystem::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p;
}

// A new file beside `path` that no one else is writing, opened for binary writing, with the
// permission bits of the file it replaces. Its name is short whatever the target's, so a
// target name near the file system's limit still has room beside it.
std::FILE* createTemp(const std::filesystem::path& path, std::string& temp) {
#ifndef _WIN32
  struct stat target;
  bool replaces = lstat(path.string().c_str(), &target) == 0 && S_ISREG(target.st_mode);
#endif
  for (int attempt = 0; attempt < 100; attempt++) {
    std::string name =
        ".kelvane-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
    temp = (path.parent_path() / name).string();
#ifdef _WIN32
    int fd = _open(temp.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* f = fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
    int fd = open(temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0 && replaces) fchmod(fd, target.st_mode & 07777);
    std::FILE* f = fd < 0 ? nullptr : fdopen(fd, "wb");
#endif
    if (fd >= 0 && !f) { // the descriptor and the file go again, with fdopen's reason kept
      int e = errno;
      close(fd);
      unlink(temp.c_str());
      errno = e;
      return nullptr;
    }
    if (f || errno != EEXIST) return f;
  }
  return nullptr;
}

} // namespace

bool openOutput(const std::string& path, Output& out, std::string& err, bool chosen) {
  out = Output{path, "", "", nullptr};
  struct stat st;
#ifndef _WIN32
  // A name the program chose, in a folder others may write: what stands there is replaced,
  // never written through (a planted link or pipe would take the output elsewhere).
  if (chosen && lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    err = "is there already and is not a regular file";
    return false;
  }
#endif
  if (path == "-") {
    out.f = stdout;
  } else if (!chosen && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
             !S_ISDIR(st.st_mode)) {
    out.f = std::fopen(path.c_str(), "wb"); // a device or a pipe: nothing to rename
  } else {
    watchSignals();
    out.target = chosen ? path : linkTarget(path).string();
#ifndef _WIN32
    // A signal between making the temporary and publishing its name would leave it behind.
    sigset_t stop, was;
    sigemptyset(&stop);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop, sig);
    sigprocmask(SIG_BLOCK, &stop, &was);
#endif
    out.f = createTemp(out.target, out.temp);
    if (out.f) publishPending(out.temp);
#ifndef _WIN32
    sigprocmask(SIG_SETMASK, &was, nullptr);
#endif
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
    std::filesystem::rename(out.temp, out.target, ec);
    if (ec) {
      ok = false;
      err = ec.message();
    }
  }
  withdrawPending();
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

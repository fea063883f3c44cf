// Outputs that are never half-written: a temporary beside the target, synced, renamed into
// place and its folder synced (as SQLite and git commit their files); on failure (or a signal
// that ends the process) the temporary is removed and an existing target stays as it was.
#include "output.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

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

#ifdef _WIN32
const int stopSignals[] = {SIGINT, SIGTERM};
using Handler = void (*)(int);
Handler before[2]; // the handlers the cleanup stands in for while a file is written
bool installed[2]; // which of them it stands in for
#else
const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction before[3];
bool installed[3];
#endif
constexpr int stopCount = int(sizeof stopSignals / sizeof stopSignals[0]);

int slotOf(int sig) {
  for (int i = 0; i < stopCount; i++)
    if (stopSignals[i] == sig) return i;
  return 0;
}

// Only async-signal-safe calls. A handler that was there before (the viewer's, which asks
// about unsaved edits) gets the signal and the write goes on; where the signal would end the
// process, the temporary goes first and the default action follows.
#ifdef _WIN32
extern "C" void onStopSignal(int sig) {
  Handler was = before[slotOf(sig)];
  if (was != SIG_DFL && was != SIG_IGN && was != SIG_ERR) {
    std::signal(sig, onStopSignal); // Windows resets a handler when it runs
    was(sig);
    return;
  }
  if (pendingSet) _unlink(pending);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}
#else
extern "C" void onStopSignal(int sig, siginfo_t* info, void* context) {
  const struct sigaction& was = before[slotOf(sig)];
  if (was.sa_flags & SA_SIGINFO) {
    was.sa_sigaction(sig, info, context);
    return;
  }
  if (was.sa_handler != SIG_DFL && was.sa_handler != SIG_IGN) {
    was.sa_handler(sig);
    return;
  }
  if (pendingSet) unlink(pending);
  sigaction(sig, &was, nullptr);
  raise(sig);
}
#endif

// Puts the cleanup in front of each stop signal's handler while a file is written. A signal
// the caller ignored (`nohup`, a script's background job) is no request to stop and stays
// ignored.
void watchSignals() {
  for (int i = 0; i < stopCount; i++) {
    if (installed[i]) continue;
#ifdef _WIN32
    Handler was = std::signal(stopSignals[i], SIG_IGN);
    if (was == SIG_IGN || was == SIG_ERR) {
      std::signal(stopSignals[i], was);
      continue;
    }
    before[i] = was;
    std::signal(stopSignals[i], onStopSignal);
#else
    struct sigaction now {};
    if (sigaction(stopSignals[i], nullptr, &before[i]) != 0 || before[i].sa_handler == SIG_IGN)
      continue;
    now.sa_sigaction = onStopSignal;
    now.sa_flags = SA_SIGINFO | (before[i].sa_flags & SA_RESTART);
    sigfillset(&now.sa_mask);
    sigaction(stopSignals[i], &now, nullptr);
#endif
    installed[i] = true;
  }
}

// Gives each stop signal its handler from before the write back.
void unwatchSignals() {
  for (int i = 0; i < stopCount; i++) {
    if (!installed[i]) continue;
#ifdef _WIN32
    std::signal(stopSignals[i], before[i]);
#else
    sigaction(stopSignals[i], &before[i], nullptr);
#endif
    installed[i] = false;
  }
}

#ifndef _WIN32
// Holds the stop signals off while a step must not be cut in two.
struct SignalsHeld {
  sigset_t was;
  SignalsHeld() {
    sigset_t stop;
    sigemptyset(&stop);
    for (int sig : stopSignals) sigaddset(&stop, sig);
    sigprocmask(SIG_BLOCK, &stop, &was);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &was, nullptr); }
};
#endif

// The file a name finally stands for: a symbolic link is followed (to a target that need not
// exist yet), so replacing the output replaces the target and keeps the link.
fs::path linkTarget(const std::string& path) {
  fs::path p(path);
  std::error_code ec;
  for (int hops = 0; hops < 40 && fs::is_symlink(p, ec); hops++) {
    fs::path to = fs::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p;
}

std::string kindOf(unsigned mode) {
#ifdef _WIN32
  return (mode & S_IFMT) == S_IFDIR ? "a folder" : "a device or pipe";
#else
  return S_ISDIR(mode)                    ? "a folder"
         : S_ISFIFO(mode)                 ? "a pipe"
         : S_ISSOCK(mode)                 ? "a socket"
         : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                          : "not a regular file";
#endif
}

std::string folderOf(const fs::path& p) {
  return p.parent_path().empty() ? std::string(".") : p.parent_path().string();
}

#ifndef _WIN32
// Writes all of `data` to `fd`; false with errno set.
bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}
#endif

bool syncFd(int fd) {
#if defined(__EMSCRIPTEN__)
  (void)fd; // a page's files live in its memory; what is kept is what it downloads
  return true;
#elif defined(_WIN32)
  return _commit(fd) == 0; // FlushFileBuffers
#else
  while (fsync(fd) != 0)
    if (errno != EINTR) return false;
  return true;
#endif
}

// Makes the folder's entries (a rename, a new or removed name) durable; Windows (and a page) has no
// such step (its rename is journalled with the file's metadata).
bool syncFolder(const fs::path& file) {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
  (void)file;
  return true;
#else
  int fd = open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = syncFd(fd) || errno == EINVAL; // a file system that cannot sync folders
  int e = errno;
  close(fd);
  errno = e;
  return ok;
#endif
}

#ifndef _WIN32
// The whole of the file at `fd` from its start.
bool readAllFd(int fd, std::string& bytes) {
  bytes.clear();
  char buf[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buf, size_t(n));
  }
}
#endif

// A new file beside `path` that no one else is writing, opened for writing. Its name is short
// whatever the target's, so a target name near the file system's limit still has room beside
// it. -1 with errno set when none can be made.
int createBeside(const fs::path& path, const char* suffix, std::string& name) {
  for (int attempt = 0; attempt < 100; attempt++) {
    std::string base =
        ".kelvane-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + suffix;
    name = (path.parent_path() / base).string();
#ifdef _WIN32
    int fd = _open(name.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    int fd = open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
#endif
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Gives the temporary the replaced file's permission bits, owner and group; what cannot be
// kept goes into `note`.
void keepAttributes(int fd, const std::string& target, Output& out) {
#ifdef _WIN32
  (void)fd;
  (void)target;
  (void)out;
#else
  struct stat st, now;
  if (stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (st.st_uid != geteuid() || st.st_gid != getegid()) {
    // Owner and group, else the group alone; what could not be kept is said.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) (void)!fchown(fd, uid_t(-1), st.st_gid);
    if (fstat(fd, &now) == 0 && (now.st_uid != st.st_uid || now.st_gid != st.st_gid))
      out.note = "its owner and group are now user " + std::to_string(now.st_uid) + ", group " +
                 std::to_string(now.st_gid) + " (they were " + std::to_string(st.st_uid) + ", " +
                 std::to_string(st.st_gid) + ")";
  }
  fchmod(fd, st.st_mode & 07777); // after fchown, which may clear set-id bits
#endif
}

// Where the output of `mode` may go, as `target`; false with `err` when it may not be written.
bool chooseTarget(const std::string& path, OutputMode mode, const FileIdentity* was,
                  std::string& target, FileIdentity& at, std::string& err, std::string& note) {
  FileIdentity now = fileIdentity(path);
  if (mode == OutputMode::chosen) {
    if (now.exists && !now.link && !now.regular) {
      err = "is there already and is not a regular file";
      return false;
    }
    target = path; // a link there is replaced, not followed
    if (!now.link) at = now;
    return true;
  }
  if (mode == OutputMode::save) {
    if (was && was->exists && !was->regular) {
      err = "opened from " + was->kind + ": save with `kelvane patch` or F12";
      return false;
    }
    if (now.link && !(was && was->link && was->linkTo == now.linkTo)) {
      err = "is now a symbolic link to " + now.linkTo + "; not saved through it";
      return false;
    }
    if (now.exists && !now.regular) {
      err = "is now " + now.kind + ", not the file that was opened; not saved";
      return false;
    }
    if (!now.exists)
      note = "it was no longer there; saved as a new file";
    else if (was && (now.device != was->device || now.inode != was->inode))
      note = "it is another file than the one opened (replaced since); saved over it";
    target = linkTarget(path).string();
    at = fileIdentity(target);
    return true;
  }
  // Named by the user: a link is followed only where it stood from the start.
  if (was && now.link && !(was->link && was->linkTo == now.linkTo)) {
    err = "became a symbolic link to " + now.linkTo +
          " since the command started; not written "
          "through it";
    return false;
  }
  if (was && now.exists && !now.regular && !now.folder && !(was->exists && !was->regular)) {
    err = "became " + now.kind + " since the command started; not written";
    return false;
  }
  target = linkTarget(path).string();
  at = fileIdentity(target);
  return true;
}

// Writes the temporary's bytes over the target in place, after a synced copy of the target's
// old bytes beside it (removed once the new bytes are synced), so every hard link sees the
// save and a crash leaves either file whole.
bool overwriteInPlace(Output& out, std::string& err) {
#ifdef _WIN32
  (void)out;
  err = "in-place writes are not made on Windows";
  return false;
#else
  SignalsHeld held;               // the target is never left half-written by a signal
  std::string fresh, old, backup;
  int t = open(out.temp.c_str(), O_RDONLY | O_CLOEXEC);
  bool ok = t >= 0 && readAllFd(t, fresh);
  if (t >= 0) close(t);
  int fd = ok ? open(out.target.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC) : -1;
  ok = fd >= 0 && readAllFd(fd, old);
  int b = ok ? createBeside(out.target, ".bak", backup) : -1;
  ok = b >= 0 && writeAll(b, old.data(), old.size()) && syncFd(b) && syncFolder(out.target);
  if (!ok) err = std::strerror(errno);
  if (b >= 0) close(b);
  bool written = ok && lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, fresh.data(), fresh.size()) &&
                 ftruncate(fd, off_t(fresh.size())) == 0 && syncFd(fd);
  if (ok && !written) {
    err = std::strerror(errno);
    // The old bytes back; the copy beside it stays, and is named, if even that fails.
    bool back = lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, old.data(), old.size()) &&
                ftruncate(fd, off_t(old.size())) == 0 && syncFd(fd);
    if (!back)
      err += "; its old bytes are kept in " + backup;
    else
      unlink(backup.c_str());
  } else if (written) {
    unlink(backup.c_str());
    syncFolder(out.target);
  } else if (!backup.empty()) {
    unlink(backup.c_str());
  }
  if (fd >= 0) close(fd);
  return written;
#endif
}

} // namespace

FileIdentity fileIdentity(const std::string& path) {
  FileIdentity id;
  if (path.empty() || path == "-") return id;
#ifdef _WIN32
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return id;
  id.exists = true;
  id.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return id;
  id.exists = true;
  if (S_ISLNK(st.st_mode)) {
    id.link = true;
    std::error_code ec;
    id.linkTo = fs::read_symlink(path, ec).string();
    if (stat(path.c_str(), &st) != 0) { // a link to nothing: the name may still be written
      id.exists = false;
      return id;
    }
  }
  id.regular = S_ISREG(st.st_mode);
#endif
  if (!id.regular) id.kind = kindOf(unsigned(st.st_mode));
#ifdef _WIN32
  id.folder = (st.st_mode & _S_IFMT) == _S_IFDIR;
#else
  id.folder = S_ISDIR(st.st_mode);
#endif
  id.device = uint64_t(st.st_dev);
  id.inode = uint64_t(st.st_ino);
  return id;
}

bool saveTargetAllowed(const std::string& path, const FileIdentity& was, std::string& why) {
  std::string target, note;
  FileIdentity at;
  return chooseTarget(path, OutputMode::save, &was, target, at, why, note);
}

bool openOutput(const std::string& path, Output& out, std::string& err, OutputMode mode,
                const FileIdentity* was) {
  out = Output{};
  out.path = path;
  if (path == "-" && mode == OutputMode::named) {
    out.f = stdout;
    return true;
  }
  FileIdentity target;
  if (!chooseTarget(path, mode, was, out.target, target, err, out.note)) return false;
  if (mode == OutputMode::named && target.exists && !target.regular && !target.folder) {
    out.f = std::fopen(out.target.c_str(), "wb"); // a device or a pipe: nothing to rename
    if (!out.f) err = std::strerror(errno);
    return out.f != nullptr;
  }
  if (target.exists && !target.regular) {
    err = std::strerror(EISDIR);
    return false;
  }
#ifndef _WIN32
  // A file the user may not write is not replaced, though its folder would allow the rename.
  if (target.exists && faccessat(AT_FDCWD, out.target.c_str(), W_OK, AT_EACCESS) != 0) {
    err = std::string(std::strerror(errno)) + " (it is not writable for you)";
    return false;
  }
  struct stat st;
  out.inPlace = target.exists && stat(out.target.c_str(), &st) == 0 && st.st_nlink > 1;
  // A signal between making the temporary and publishing its name would leave it behind.
  SignalsHeld held;
#endif
  watchSignals();
  int fd = createBeside(out.target, ".tmp", out.temp);
  if (fd < 0) {
    int e = errno;
    unwatchSignals();
    err = "cannot write in its folder " + folderOf(out.target) + ": " + std::strerror(e);
    out.temp.clear();
    return false;
  }
  publishPending(out.temp);
  if (target.exists) keepAttributes(fd, out.target, out);
#ifdef _WIN32
  out.f = _fdopen(fd, "wb");
#else
  out.f = fdopen(fd, "wb");
#endif
  if (!out.f) { // the descriptor and the file go again, with fdopen's reason kept
    err = std::strerror(errno);
#ifdef _WIN32
    _close(fd);
    _unlink(out.temp.c_str());
#else
    close(fd);
    unlink(out.temp.c_str());
#endif
    withdrawPending();
    unwatchSignals();
    return false;
  }
  return true;
}

bool commitOutput(Output& out, bool ok, std::string& err) {
  auto failWith = [&](const std::string& why) {
    if (ok) err = why;
    ok = false;
  };
  if (std::ferror(out.f)) failWith(std::strerror(errno ? errno : EIO));
  if (std::fflush(out.f) != 0) failWith(std::strerror(errno));
  // The data reaches the disk before the name points at it: a power cut then leaves the old
  // file or the new one, never an empty one.
  if (ok && !out.temp.empty() && !syncFd(fileno(out.f)))
    failWith(std::string("could not be synced to the disk: ") + std::strerror(errno));
  if (out.f != stdout && std::fclose(out.f) != 0) failWith(std::strerror(errno));
  out.f = nullptr;
  if (out.temp.empty()) return ok;
  std::error_code ec;
  if (ok && out.inPlace) {
    std::string why;
    if (!overwriteInPlace(out, why)) failWith(why);
    fs::remove(out.temp, ec);
  } else if (ok) {
    fs::rename(out.temp, out.target, ec);
    if (ec)
      failWith(ec.message());
    else if (!syncFolder(out.target))
      failWith("written, but its folder " + folderOf(out.target) +
               " could not be synced to the disk: " + std::strerror(errno));
  }
  withdrawPending();
  unwatchSignals();
  if (!ok) fs::remove(out.temp, ec);
  return ok;
}

bool writeFile(const std::string& path, const std::string& bytes, std::string& err, OutputMode mode,
               const FileIdentity* was, std::string* note) {
  Output out;
  if (!openOutput(path, out, err, mode, was)) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out.f) == bytes.size();
  if (!ok) err = std::strerror(errno);
  ok = commitOutput(out, ok, err);
  if (ok && note) *note = out.note;
  return ok;
}

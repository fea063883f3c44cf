// The `kelvane` command on POSIX systems: the terminal check, binary standard streams, this
// program's path and running another program.
#include "command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

extern char** environ;

bool stderrIsTerminal() {
  return isatty(fileno(stderr));
}

void useBinaryStdio() {} // bytes are bytes here

std::string selfPath() {
  char b[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", b, sizeof b);
  return n > 0 && size_t(n) < sizeof b ? std::string(b, size_t(n)) : std::string();
}

bool runProgram(const std::vector<std::string>& args, std::string& out, int& status,
                std::string& err, bool quiet) {
  int fd[2];
  if (pipe(fd) != 0) {
    err = std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fd[1], 1);
  posix_spawn_file_actions_addclose(&fa, fd[0]);
  posix_spawn_file_actions_addclose(&fa, fd[1]);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  if (quiet) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int e = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(fd[1]);
  if (e != 0) {
    close(fd[0]);
    err = args[0] + ": " + std::strerror(e);
    return false;
  }
  out.clear();
  char b[4096];
  for (ssize_t n; (n = read(fd[0], b, sizeof b)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    out.append(b, size_t(n));
  }
  close(fd[0]);
  int ws = 0;
  while (waitpid(pid, &ws, 0) < 0 && errno == EINTR) {
  }
  status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + (WIFSIGNALED(ws) ? WTERMSIG(ws) : 0);
  return true;
}

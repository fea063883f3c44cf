// The `kelvane` command on Windows: the console's own calls, this program's path, running
// another program, and no headless rendering (there is no EGL), so `render` and `thumbnail`
// say so.
#include "command.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

bool stderrIsTerminal() {
  return _isatty(_fileno(stderr));
}

void useBinaryStdio() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

int runRender(const Options&, RenderJob&, const FlightJob*) {
  return usage("render", "render: not available in the Windows build (it needs EGL); use the "
                         "viewer");
}

int runThumbnail(const Options&, int) {
  return usage("thumbnail", "thumbnail: not available in the Windows build (it needs EGL)");
}

std::string selfPath() {
  char b[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, b, sizeof b);
  return n > 0 && n < sizeof b ? std::string(b, n) : std::string();
}

namespace {

// One argument as the C runtime's parser reads it back: quoted when it has a blank or a quote
// (or is empty), backslashes doubled where a quote follows them.
std::string quoted(const std::string& a) {
  if (!a.empty() && a.find_first_of(" \t\n\v\"") == std::string::npos) return a;
  std::string q = "\"";
  size_t slashes = 0;
  for (char c : a) {
    if (c == '\\') {
      slashes++;
      continue;
    }
    q.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    q += c;
  }
  q.append(2 * slashes, '\\');
  return q + "\"";
}

std::string lastError() {
  char b[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, b, sizeof b, nullptr);
  std::string s = b;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.')) s.pop_back();
  return s;
}

} // namespace

bool runProgram(const std::vector<std::string>& args, std::string& out, int& status,
                std::string& err, bool quiet) {
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line += ' ';
    line += quoted(a);
  }
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
    err = lastError();
    return false;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &sa, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul;
  si.hStdOutput = writeEnd;
  si.hStdError = quiet ? nul : GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  BOOL made =
      CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  if (!made) {
    err = args[0];
    err += ": ";
    err += lastError();
  }
  CloseHandle(writeEnd);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!made) {
    CloseHandle(readEnd);
    return false;
  }
  out.clear();
  char b[4096];
  for (DWORD n; ReadFile(readEnd, b, sizeof b, &n, nullptr) && n > 0;) out.append(b, n);
  CloseHandle(readEnd);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  status = int(code);
  return true;
}

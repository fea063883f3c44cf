// The installer's helper for the user's PATH: `kelvane-path add DIR` appends DIR to the Path
// value of HKCU\Environment, `kelvane-path remove DIR` takes out the entries that are DIR. The
// value is read whole, whatever its length (the installer's own string functions stop at 1,024
// characters), and everything else in it stays byte for byte; a value that cannot be read
// whole is left untouched. Exit status: 0 done (or nothing to do), 1 the value could not be
// read or written, 2 bad usage.
#include "path_edit.h"

#include <windows.h>

#include <string>

namespace {

const wchar_t* const environmentKey = L"Environment";
const wchar_t* const pathName = L"Path";

// Reads the Path value into `path` with its type; false when it is there but cannot be read
// whole. A missing value reads as empty, of type REG_EXPAND_SZ.
bool readPath(HKEY key, std::wstring& path, DWORD& type) {
  DWORD bytes = 0;
  type = REG_EXPAND_SZ;
  LONG r = RegQueryValueExW(key, pathName, nullptr, &type, nullptr, &bytes);
  if (r == ERROR_FILE_NOT_FOUND) {
    path.clear();
    type = REG_EXPAND_SZ;
    return true;
  }
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  // The value may grow between the two calls; try again with the size it then has.
  for (int attempt = 0; attempt < 4; attempt++) {
    std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = DWORD(buffer.size() * sizeof(wchar_t));
    r = RegQueryValueExW(key, pathName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &got);
    if (r == ERROR_MORE_DATA) {
      bytes = got;
      continue;
    }
    if (r != ERROR_SUCCESS) return false;
    buffer.resize(got / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
    path = buffer;
    return true;
  }
  return false;
}

bool writePath(HKEY key, const std::wstring& path, DWORD type) {
  if (path.empty()) {
    LONG r = RegDeleteValueW(key, pathName);
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
  }
  return RegSetValueExW(key, pathName, 0, type, reinterpret_cast<const BYTE*>(path.c_str()),
                        DWORD((path.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 2;
  std::wstring verb = argv[1], dir = argv[2];
  bool add = verb == L"add";
  if ((!add && verb != L"remove") || dir.empty()) return 2;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, environmentKey, 0, nullptr, 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return 1;
  std::wstring path;
  DWORD type = REG_EXPAND_SZ;
  int status = 1;
  if (readPath(key, path, type)) {
    std::wstring now = add ? pathWithEntry(path, dir) : pathWithoutEntry(path, dir);
    status = now == path || writePath(key, now, type) ? 0 : 1;
    if (status == 0 && now != path) {
      DWORD_PTR result = 0;
      SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                          reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG, 5000,
                          &result);
    }
  }
  RegCloseKey(key);
  LocalFree(argv);
  return status;
}

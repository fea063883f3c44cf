// Editing a PATH value: see path_edit.h.
#include "path_edit.h"

#include <cwctype>
#include <vector>

namespace {

std::wstring folded(std::wstring s) {
  while (!s.empty() && (s.back() == L'\\' || s.back() == L'/')) s.pop_back();
  for (wchar_t& c : s) c = wchar_t(std::towlower(wint_t(c)));
  return s;
}

std::vector<std::wstring> entries(const std::wstring& path) {
  std::vector<std::wstring> out;
  size_t at = 0;
  for (size_t semi; (semi = path.find(L';', at)) != std::wstring::npos; at = semi + 1)
    out.push_back(path.substr(at, semi - at));
  out.push_back(path.substr(at));
  return out;
}

} // namespace

std::wstring pathWithEntry(const std::wstring& path, const std::wstring& dir) {
  if (path.empty()) return dir;
  for (const std::wstring& e : entries(path))
    if (folded(e) == folded(dir)) return path;
  return path + L";" + dir;
}

std::wstring pathWithoutEntry(const std::wstring& path, const std::wstring& dir) {
  std::vector<std::wstring> kept, all = entries(path);
  for (const std::wstring& e : all)
    if (folded(e) != folded(dir)) kept.push_back(e);
  if (kept.size() == all.size()) return path;
  std::wstring out;
  for (size_t i = 0; i < kept.size(); i++) out += (i ? L";" : L"") + kept[i];
  return out;
}

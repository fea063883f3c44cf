// Editing a PATH value as the installer does: entries are separated by ';', a folder is the
// same entry whatever the case of its letters and with or without a closing backslash. Every
// other byte of the value stays as it was, so removing what adding put there gives back the
// value adding found.
#pragma once

#include <string>

// `path` with `dir` appended as its last entry (";dir"; just "dir" when `path` is empty);
// `path` itself when an entry is `dir` already.
std::wstring pathWithEntry(const std::wstring& path, const std::wstring& dir);
// `path` without the entries that are `dir`, each with the ';' that joined it to the rest.
std::wstring pathWithoutEntry(const std::wstring& path, const std::wstring& dir);

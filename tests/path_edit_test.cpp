// The installer's PATH edits: whatever the value's length, adding the folder and removing it
// again gives back the value byte for byte; an entry already there is not added twice.
#include "packaging/windows/path_edit.h"

#include <gtest/gtest.h>

namespace {

TEST(PathEdit, AddingThenRemovingGivesTheValueBack) {
  const std::wstring dir = L"C:\\Program Files\\Kelvane Карта";
  std::wstring longPath;
  while (longPath.size() < 2000) longPath += L"C:\\Tools\\Some Folder;";
  longPath += L"%SystemRoot%\\system32";
  struct Case {
    std::wstring path, added;
  } cases[] = {
      {L"", dir},
      {L"C:\\tools", L"C:\\tools;" + dir},
      {L"C:\\tools;", L"C:\\tools;;" + dir},
      {L"a;;b", L"a;;b;" + dir},
      {longPath, longPath + L";" + dir},
      {longPath.substr(0, 1000), longPath.substr(0, 1000) + L";" + dir},
  };
  for (const Case& c : cases) {
    std::wstring added = pathWithEntry(c.path, dir);
    EXPECT_EQ(added, c.added);
    EXPECT_EQ(pathWithoutEntry(added, dir), c.path);
  }
}

TEST(PathEdit, TheFolderIsOneEntryWhateverItsCase) {
  std::wstring dir = L"C:\\Program Files\\Kelvane";
  EXPECT_EQ(pathWithEntry(L"c:\\program files\\kelvane\\;x", dir),
            L"c:\\program files\\kelvane\\;x");
  EXPECT_EQ(pathWithoutEntry(L"x;C:\\PROGRAM FILES\\KELVANE;y;C:\\Program Files\\Kelvane\\", dir),
            L"x;y");
  // Entries that only contain the folder's name stay.
  EXPECT_EQ(pathWithoutEntry(L"C:\\Program Files\\Kelvane Old;x", dir),
            L"C:\\Program Files\\Kelvane Old;x");
}

} // namespace

// Outputs under a hostile user and an impatient one: signals while a file is written, links,
// pipes and other files planted at a save's name, hard links and other owners.
#include "platform/output.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string contents(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// Only the named files are in the folder: no temporary or copy was left behind.
std::vector<std::string> namesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Folder {
  fs::path dir;
  Folder() {
    dir = fs::path(testing::TempDir()) /
          ("output-" + std::to_string(getpid()) + "-" +
           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  ~Folder() { fs::remove_all(dir); }
};

volatile std::sig_atomic_t terms = 0;
extern "C" void countTerm(int) {
  terms = terms + 1;
}

void (*handlerNow(int sig))(int) {
  struct sigaction now;
  sigaction(sig, nullptr, &now);
  return now.sa_handler;
}

} // namespace

// A program that handles SIGTERM itself (the viewer asks about unsaved edits) keeps its handler:
// the cleanup stands in front of it only while a file is written, hands the signal on, and the
// write goes on to the end.
TEST(Output, ASignalReachesTheHandlerThatWasThere) {
  Folder f;
  std::string target = (f.dir / "m.map").string(), err;
  std::signal(SIGTERM, countTerm);
  terms = 0;
  ASSERT_TRUE(writeFile(target, "first", err)) << err;
  EXPECT_EQ(handlerNow(SIGTERM), countTerm); // after a save, as before it
  Output out;
  ASSERT_TRUE(openOutput(target, out, err)) << err;
  EXPECT_NE(handlerNow(SIGTERM), countTerm);
  std::fputs("second", out.f);
  std::raise(SIGTERM);
  EXPECT_EQ(terms, 1);
  EXPECT_TRUE(commitOutput(out, true, err)) << err;
  EXPECT_EQ(contents(target), "second");
  EXPECT_EQ(handlerNow(SIGTERM), countTerm);
  std::raise(SIGTERM);
  EXPECT_EQ(terms, 2);
  std::signal(SIGTERM, SIG_DFL);
  EXPECT_EQ(namesIn(f.dir), std::vector<std::string>{"m.map"});
}

// A save of an opened map goes to that file, or to a regular file newly at its name (said);
// whatever else now stands at the name is refused and left as it is.
TEST(Output, ASaveGoesOnlyToTheFileThatWasOpened) {
  struct Case {
    const char* what;
    void (*plant)(const fs::path& map, const fs::path& other);
    bool saved;
    const char* says; // in the note when saved, else in the error
  } cases[] = {
      {"the same file", [](const fs::path&, const fs::path&) {}, true, ""},
      {"replaced by another file",
       [](const fs::path& map, const fs::path&) {
         put(map.string() + ".new", "theirs");
         fs::rename(map.string() + ".new", map);
       },
       true, "another file than the one opened"},
      {"removed", [](const fs::path& map, const fs::path&) { fs::remove(map); }, true,
       "no longer there"},
      {"a planted link",
       [](const fs::path& map, const fs::path& other) {
         fs::remove(map);
         fs::create_symlink(other, map);
       },
       false, "is now a symbolic link to "},
      {"a pipe",
       [](const fs::path& map, const fs::path&) {
         fs::remove(map);
         mkfifo(map.c_str(), 0644);
       },
       false, "is now a pipe"},
      {"a folder",
       [](const fs::path& map, const fs::path&) {
         fs::remove(map);
         fs::create_directory(map);
       },
       false, "is now a folder"},
  };
  for (const Case& c : cases) {
    Folder f;
    fs::path map = f.dir / "m.map", other = f.dir / "other";
    put(map, "opened");
    put(other, "someone else's");
    FileIdentity was = fileIdentity(map.string());
    c.plant(map, other);
    std::string err, note;
    bool ok = writeFile(map.string(), "saved", err, OutputMode::save, &was, &note);
    EXPECT_EQ(ok, c.saved) << c.what << ": " << err;
    EXPECT_NE((ok ? note : err).find(c.says), std::string::npos) << c.what << ": " << note << err;
    EXPECT_EQ(contents(other), "someone else's") << c.what;
    if (ok) {
      EXPECT_EQ(contents(map), "saved") << c.what;
    }
  }
  // A map read from a pipe has no file to save to.
  Folder f;
  fs::path fifo = f.dir / "p.map";
  mkfifo(fifo.c_str(), 0644);
  FileIdentity was = fileIdentity(fifo.string());
  std::string err;
  EXPECT_FALSE(writeFile(fifo.string(), "x", err, OutputMode::save, &was));
  EXPECT_EQ(err, "opened from a pipe: save with `kelvane patch` or F12");
  EXPECT_EQ(namesIn(f.dir), std::vector<std::string>{"p.map"});
}

// A link the user named is followed, and its target replaced, only where it stood when the
// command started; one planted since is refused.
TEST(Output, ALinkIsFollowedOnlyWhereItStoodAtTheStart) {
  Folder f;
  fs::path out = f.dir / "out.obj", target = f.dir / "target.obj";
  put(target, "old");
  FileIdentity before = fileIdentity(out.string()); // nothing there yet
  fs::create_symlink(target, out);
  std::string err;
  EXPECT_FALSE(writeFile(out.string(), "new", err, OutputMode::named, &before));
  EXPECT_NE(err.find("became a symbolic link to "), std::string::npos) << err;
  EXPECT_EQ(contents(target), "old");
  FileIdentity atStart = fileIdentity(out.string());
  ASSERT_TRUE(writeFile(out.string(), "new", err, OutputMode::named, &atStart)) << err;
  EXPECT_TRUE(fs::is_symlink(out));
  EXPECT_EQ(contents(target), "new");
}

// Every hard link of a saved file sees the save, which is written in place; the owner, group
// and permission bits stay (as root, another user's file stays theirs).
TEST(Output, HardLinksSeeTheSaveAndOwnersStay) {
  Folder f;
  fs::path map = f.dir / "m.map", link = f.dir / "link.map";
  put(map, "old bytes, longer than the new");
  fs::create_hard_link(map, link);
  chmod(map.c_str(), 0640);
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(map.c_str(), 65534, 65534), 0);
  }
  struct stat before, after;
  ASSERT_EQ(stat(map.c_str(), &before), 0);
  std::string err;
  ASSERT_TRUE(writeFile(map.string(), "new", err)) << err;
  EXPECT_EQ(contents(map), "new");
  EXPECT_EQ(contents(link), "new");
  ASSERT_EQ(stat(map.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(namesIn(f.dir), (std::vector<std::string>{"link.map", "m.map"}));
  // One link: replaced by rename, with the owner kept where the process may keep it.
  fs::remove(link);
  ASSERT_TRUE(writeFile(map.string(), "newer", err)) << err;
  ASSERT_EQ(stat(map.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(after.st_uid, 65534u);
    EXPECT_EQ(after.st_gid, 65534u);
  }
  EXPECT_EQ(namesIn(f.dir), std::vector<std::string>{"m.map"});
}

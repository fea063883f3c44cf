// Screenshots: the pictures folder, the first free name, and F12 in the viewer writing the
// scene's pixels as a PNG, top row first.
#include "app/picture.h"
#include "viewer_fixture.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <cstdlib>

TEST(Pictures, TheXdgPicturesDirectory) {
  struct Case {
    const char* dirs;
    const char* want;
  } cases[] = {
      {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Pictures\"\n", "/h/Pictures"},
      {"# comment\n  XDG_PICTURES_DIR=\"/srv/shots/\"\r\n", "/srv/shots"},
      {"XDG_PICTURES_DIR=\"$HOME/\"\n", ""},     // the home folder: no pictures folder
      {"XDG_PICTURES_DIR=\"Pictures\"\n", ""},   // relative: not valid
      {"XDG_PICTURES_DIR=$HOME/Pictures\n", ""}, // unquoted: not valid
      {"#XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(xdgPicturesDir(c.dirs, "/h"), c.want) << c.dirs;
}

TEST_F(ViewerTest, PicturesFolderAndFreeNames) {
  const char* oldHome = std::getenv("HOME");
  std::string home = oldHome ? oldHome : "";
  fs::create_directories(dir / "config");
  setenv("HOME", dir.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  write("config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  EXPECT_EQ(picturesFolder(), ""); // named, but not there: the working folder
  fs::create_directories(dir / "Bilder");
  EXPECT_EQ(picturesFolder(), (dir / "Bilder").string());
  // XDG_PICTURES_DIR in the environment counts where the file names none, as xdg-user-dir has it.
  fs::create_directories(dir / "Fotos");
  setenv("XDG_PICTURES_DIR", "$HOME/Fotos", 1);
  EXPECT_EQ(picturesFolder(), (dir / "Bilder").string());
  write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n");
  EXPECT_EQ(picturesFolder(), (dir / "Fotos").string());
  unsetenv("XDG_PICTURES_DIR");
  write("config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
  write("Bilder/level-001.png", "");
  fs::create_directory_symlink("/nonexistent", dir / "Bilder/level-002.png");
  std::string why;
  EXPECT_EQ(freePictureName((dir / "Bilder").string(), "/maps/level.map", why),
            (dir / "Bilder/level-003.png").string());
  // The working folder is said by its full path.
  EXPECT_EQ(freePictureName("", "two.dots.map", why),
            (fs::current_path() / "two.dots-001.png").string());
  EXPECT_EQ(freePictureName("", "", why), (fs::current_path() / "kelvane-001.png").string());
  // A name near the file system's limit still gets a picture; a folder that cannot be searched
  // is said as it is, not as a folder full of pictures.
  std::string longName = std::string(250, 'x') + ".map";
  EXPECT_EQ(freePictureName("", longName, why),
            (fs::current_path() / (std::string(240, 'x') + "-001.png")).string());
  std::string unsearchable(300, 'y'); // a folder name no file system takes
  EXPECT_EQ(freePictureName(unsearchable, "level.map", why), "");
  EXPECT_EQ(why, unsearchable + "/level-001.png: File name too long");

  // F12 twice: two pictures, numbered on, of the window's size, top row first.
  std::string path = map("level.map");
  MSG f12 = keyMsg(WM_KEYDOWN, VK_F12);
  winDouble.script = {f12, keyMsg(WM_KEYUP, VK_F12), f12, keyMsg(WM_KEYDOWN, VK_ESCAPE)};
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(path), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "saved picture " + (dir / "Bilder/level-003.png").string() + "\nsaved picture " +
                (dir / "Bilder/level-004.png").string() + "\n");
  int w = 0, h = 0, n = 0;
  std::string file = (dir / "Bilder/level-004.png").string();
  unsigned char* px = stbi_load(file.c_str(), &w, &h, &n, 3);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  // The double reads pixel (x, y from the bottom) as (x, y, 7).
  EXPECT_EQ(px[0] + 256 * (px[1] + 256 * px[2]), 0 + 256 * ((479 & 255) + 256 * 7));
  size_t last = (size_t(h - 1) * size_t(w) + 5) * 3;
  EXPECT_EQ(px[last] + 256 * (px[last + 1] + 256 * px[last + 2]), 5 + 256 * (0 + 256 * 7));
  stbi_image_free(px);
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
}

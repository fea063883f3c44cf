// Screenshots: the scene as the window shows it, without the panels, saved as a PNG in the
// user's pictures folder under the map's name and the first free number.
#pragma once

#include <string>

// The pictures directory an XDG user-dirs file (user-dirs.dirs) names: its XDG_PICTURES_DIR
// line, "$HOME" expanded to `home`; "" when the file names none, or names the home folder
// itself (which the file's format uses for "no such folder").
std::string xdgPicturesDir(const std::string& userDirs, const std::string& home);

// Where pictures go: the XDG pictures directory (on Windows %USERPROFILE%\Pictures) where it
// exists, else "" for the working folder.
std::string picturesFolder();

// MAP-NNN.png: the map file's name without its folders and extension ("kelvane" when there
// is none, cut to leave room for the number within a file name's 255 bytes) and `n` in at
// least three digits.
std::string pictureName(const std::string& map, unsigned n);

// `folder`/MAP-NNN.png (the working folder's full path when `folder` is "") for the first NNN
// from 001 to 99999 that names nothing there; "" with `why` set when none does or the folder
// cannot be searched.
std::string freePictureName(const std::string& folder, const std::string& map, std::string& why);

// A PNG of width x height RGB pixels whose rows run from the bottom up, as glReadPixels reads
// them; "" when it cannot be made.
std::string encodePng(const unsigned char* rgb, int width, int height);

struct Viewer;

// F12: saves the scene, drawn again without the panels, as a PNG in the pictures folder
// (freePictureName) and says where; on a page, hands it to the page to download.
void takePicture(Viewer& v);

// Screenshots: where they go, their names, and the PNG (stb_image_write).
#include "picture.h"

#include "scene.h"

#include "platform/gl.h"
#include "platform/output.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool isFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

#ifndef _WIN32
std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
#endif

void appendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

} // namespace

std::string xdgPicturesDir(const std::string& userDirs, const std::string& home) {
  std::istringstream in(userDirs);
  std::string found;
  for (std::string line; std::getline(in, line);) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, 17, "XDG_PICTURES_DIR=") != 0) continue;
    std::string value = line.substr(at + 17);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') continue;
    value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0)
      value = home + value.substr(5);
    else if (value.empty() || value[0] != '/')
      continue; // only absolute paths and $HOME-relative ones are valid
    found = value;
  }
  while (found.size() > 1 && found.back() == '/') found.pop_back();
  std::string bare = home;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  return found == bare ? "" : found;
}

std::string picturesFolder() {
#ifdef _WIN32
  const char* profile = std::getenv("USERPROFILE");
  std::string folder = profile && *profile ? std::string(profile) + "\\Pictures" : "";
#else
  const char* home = std::getenv("HOME");
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string h = home ? home : "";
  std::string dirs = config && *config ? std::string(config) : h.empty() ? "" : h + "/.config";
  // As xdg-user-dir reads it: the environment's XDG_PICTURES_DIR, unless the file names one.
  const char* env = std::getenv("XDG_PICTURES_DIR");
  std::string text = env && *env ? "XDG_PICTURES_DIR=\"" + std::string(env) + "\"\n" : "";
  if (!dirs.empty()) text += readText(dirs + "/user-dirs.dirs");
  std::string folder = xdgPicturesDir(text, h);
#endif
  return isFolder(folder) ? folder : "";
}

std::string pictureName(const std::string& map, unsigned n) {
  std::string stem = fs::path(map).stem().string();
  if (stem.size() > 240) { // at a character's start, so the name stays valid UTF-8
    stem.resize(240);
    while (!stem.empty() && (stem.back() & 0xC0) == 0x80) stem.pop_back();
    if (!stem.empty() && (stem.back() & 0x80)) stem.pop_back();
  }
  char number[16];
  std::snprintf(number, sizeof number, "-%03u.png", n);
  return (stem.empty() ? "kelvane" : stem) + number;
}

std::string freePictureName(const std::string& folder, const std::string& map, std::string& why) {
  std::error_code here;
  fs::path dir = folder.empty() ? fs::current_path(here) : fs::path(folder); // a full path, said
  for (unsigned n = 1; n <= 99999; n++) {
    fs::path p = dir / pictureName(map, n);
    std::error_code ec;
    fs::file_type type = fs::symlink_status(p, ec).type();
    if (type == fs::file_type::not_found) return p.string();
    if (ec || type == fs::file_type::none) {  // the folder cannot be searched, or the name is
      why = p.string() + ": " + ec.message(); // too long: no number would do
      return "";
    }
  }
  why = (folder.empty() ? "the working folder" : folder) + " holds 99999 pictures of this map";
  return "";
}

std::string encodePng(const unsigned char* rgb, int width, int height) {
  std::string png;
  if (width < 1 || height < 1) return png;
  // The last row first: PNG runs from the top.
  const unsigned char* top = rgb + size_t(height - 1) * size_t(width) * 3;
  if (!stbi_write_png_to_func(appendBytes, &png, width, height, 3, top, -3 * width)) png.clear();
  return png;
}

void takePicture(Viewer& v) {
  if (!v.lat) {
    say(v, "no map open: no picture to save");
    return;
  }
  int w = v.view.width, h = v.view.height;
  drawScene(v); // the scene alone, into the back buffer; the next frame draws everything again
  v.redraw = true;
  // RGBA, which every OpenGL and WebGL reads, packed to RGB.
  std::vector<unsigned char> rgb(size_t(w) * size_t(h) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgb.data());
  for (size_t i = 0; i < size_t(w) * size_t(h); i++)
    for (int c = 0; c < 3; c++) rgb[3 * i + size_t(c)] = rgb[4 * i + size_t(c)];
  std::string png = encodePng(rgb.data(), w, h);
  if (png.empty()) {
    sayWarning(v, "the picture could not be made into a PNG");
    return;
  }
  if (!v.start.windowPanels) { // a page: it offers the picture to download
    v.page.picture = std::move(png);
    v.page.pictureName = pictureName(v.watch.name, ++v.page.pictures);
    say(v, "saved picture " + v.page.pictureName);
    return;
  }
  std::string folder = picturesFolder();
  std::string err, path = freePictureName(folder, v.watch.name, err);
  if (path.empty())
    sayWarning(v, err + ": no picture saved");
  else if (writeFile(path, png, err, OutputMode::chosen))
    say(v, "saved picture " + path);
  else
    sayWarning(v, path + ": " + err);
}

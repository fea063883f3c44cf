// A VP9 video in a WebM file, written frame by frame through libavcodec (libvpx's VP9
// encoder) and libavformat's WebM muxer.
#pragma once

#include "toolkit.h"

#include <string>
#include <vector>

struct VideoState; // the libraries' contexts

struct Video {
  VideoState* s = nullptr;
  Output out; // the file, replaced only when the video is whole
};

// Starts a width x height video at `fps` frames a second in `path`. False with `err` set.
bool openVideo(Video& v, const std::string& path, int width, int height, int fps,
               const FileIdentity& was, std::string& err);
// Adds one frame: RGB rows bottom to top, as OpenGL reads them back.
bool addVideoFrame(Video& v, const std::vector<unsigned char>& rgb, std::string& err);
// Ends the video and moves it into place when `ok` and everything written succeeded; frees
// the contexts either way. False with `err` set.
bool closeVideo(Video& v, bool ok, std::string& err);

// Dropped-file lists of the Win32 subset over POSIX: a layer makes one for WM_DROPFILES.
#pragma once

#include "win32.h"

#include <string>
#include <vector>

// A drop of `files`, for WM_DROPFILES' wParam; DragFinish frees it.
HDROP newDrop(const std::vector<std::string>& files);

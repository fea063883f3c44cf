// What a web page shows of the viewer: the view record it reads after each frame and the link.
#pragma once

#include "viewer.h"

#include <string>

// The cut, the orthographic view and a pushed far plane as the page's link writes them
// ("section=Y&ortho=H&far=D"), "" with none of them.
std::string viewLink(const ViewerState& vs);
// Fills v.page from the viewer, for the page: after every frame, before it is shown.
void fillPageView(Viewer& v);

// The projection for a drawable size, shared by the viewer's window and the headless renderer.
#pragma once

// Viewport and 45-degree perspective (near 1, far 1000) for width x height pixels; leaves the
// model-view matrix current and identity. A height below 1 counts as 1.
void viewProjection(int width, int height);

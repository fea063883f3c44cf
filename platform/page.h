// What the web layer shows on the page besides the canvas, handed over by the app: the layer
// reads it after every frame and never writes it.
#pragma once

// `camera` points at the app's pointer to the running viewer's camera record (trot positions
// 0-4), which is null while no viewer runs. The pointer itself must outlive the page.
void setPageCamera(const float* const* camera);

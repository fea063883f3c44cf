// The projection for a drawable size, shared by the viewer's window and the headless renderer.
#pragma once

// The far plane of the plain perspective view, in units from the eye.
constexpr float plainFar = 1000;

// The far plane a fitted view whose farthest point is `depth` units from the eye needs: 0 (the
// plain view's) while that lies within plainFar, else the depth with a margin, whole.
float fittedFar(double depth);
// The near plane of far plane `far` (0: the plain view's): 1, or far / 1000 past plainFar, so
// that the depth buffer tells depths apart as finely as in the plain view.
double nearPlane(float farPlane);

// Viewport and 45-degree perspective (nearPlane(far) to far; 0 or anything up to plainFar is
// the plain view's 1 to 1000) for width x height pixels; leaves the model-view matrix current
// and identity. A height below 1 counts as 1.
void viewProjection(int width, int height, float farPlane = 0);

// The world's box of everything a frame may draw, for the orthographic depth range.
struct SceneBox {
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
};

// Viewport and the orthographic projection `half` units high either side of the view's axis
// (wider by the aspect), its depth range holding all of `box` as seen with camera `trot`;
// leaves the model-view matrix current and identity.
void viewOrtho(int width, int height, float half, const float* trot, const SceneBox& box);

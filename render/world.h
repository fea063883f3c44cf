// Geometry in world coordinates, shared by the export, the fitted render and the viewer: a
// lattice's triangles placed by its parent chain, and the camera that frames drawn lattices.
#pragma once

#include "frame.h"
#include "platform/matrix.h"
#include "view.h"

#include <cmath>
#include <cstdint>
#include <vector>

// A drawn lattice's triangles in world coordinates, in draw order and as drawn (orientOutward
// winds them for export); triangles with a non-finite corner are left out and counted.
struct PlacedLattice {
  std::vector<Triangle> tris; // world corners
  long dropped = 0;
  Matrix m;         // the lattice's placement
  FaceTables faces; // reused from lattice to lattice
};
// L's triangles in the world through its placement `m` (from latticePlacements); `box`: the
// lattice's bounding box instead of its faces.
void placeLattice(const Lattice* L, const Matrix& m, const ViewerState& vs, PlacedLattice& p,
                  bool box = false);

// Places collected triangles (own frame) in the world through `m`, as placeLattice does, leaving
// out those with a non-finite corner: how many were left out.
size_t placeTriangles(const Matrix& m, std::vector<Triangle>& tris);

// The triangle's geometric normal (v1 - v0) x (v2 - v0), in double precision, not unit length.
void triangleNormal(const Triangle& t, double n[3]);
// The direction face `f` looks away from its lattice, in the world, for placement `m`.
void worldOutwardAxis(Face f, const Matrix& m, double axis[3]);

// Lattices of another list that a fit and a box take in too (a comparison's removed lattices,
// drawn from the old map): the drawn lattices of the list from `lat` not `hidden`.
struct FitAlso {
  const Lattice* lat = nullptr;
  std::vector<bool> hidden;
};

// Sets trot's translation (positions 0-2) so that every drawn lattice of the list from `lat`
// (only `only`, when it is not null) fits a width x height frame with a small margin, keeping
// its pitch and yaw; `depth` is then the distance from the eye to the farthest point. Lattices
// past `triangleBudget` (see boxedLattices) count as their boxes; lattices `hidden` (by list
// index) do not count; without `only`, those `also` names count too. False, with trot
// unchanged, when nothing is drawn.
bool fitCamera(const Lattice* lat, int width, int height, float* trot, double& depth,
               const Lattice* only = nullptr, size_t triangleBudget = SIZE_MAX,
               const std::vector<bool>& hidden = {}, const FitAlso* also = nullptr);

// The camera's model-view matrix, as loadCamera builds it.
Matrix cameraMatrix(const float* trot);

// The pitch (degrees) Home fits with: a view that looks less than 10 degrees down (a level
// view shows a flat map edge-on as a line) looks 30 degrees down instead; whole turns stay.
float homePitch(float pitch);

// The list index of the drawn lattice seen at pixel (x, y) of a width x height frame drawn
// with camera `trot` (x right, y down from the top-left corner), or -1 for the background:
// the nearest triangle the ray through the pixel's centre meets between the near and far
// planes, the first drawn where two are as near, as the depth test keeps. Lattices past
// `triangleBudget` (see boxedLattices) are their boxes, as the frame draws them; lattices
// `hidden` (by list index) are not there, nor what the cut `cut` takes away. With `ortho` (the
// orthographic half-height, 0: perspective) the rays run parallel along the view; `far` is the
// perspective view's far plane (0: the plain view's; see viewProjection).
int pickLattice(const Lattice* lat, const float* trot, int width, int height, int x, int y,
                size_t triangleBudget = SIZE_MAX, const std::vector<bool>& hidden = {},
                const Section& cut = {}, float ortho = 0, float farPlane = 0);

// What the pick ray through pixel (x, y) meets first: the lattice's list index (-1: nothing)
// and the point, in world coordinates (those `kelvane export` writes), on one of its triangles.
struct PickHit {
  int index = -1;
  double at[3] = {};
};
// One pick's ray, as pickPoint casts it (eye space, from `from` along `d`), and the nearest
// hit so far.
struct PickRay {
  double d[3], from[3];
  Matrix camera;
  double nearest0 = 1, farthest = 1000, nearest = INFINITY;
  float ortho = 0;
  Section cut;
  PickHit hit;
};
// The ray through pixel (x, y), as pickPoint takes the arguments; false for an empty frame.
bool pickRay(const float* trot, int width, int height, int x, int y, float ortho, float farPlane,
             const Section& cut, PickRay& ray);
// Tests world triangles `tris` of lattice `index`, in draw order, against the ray.
void pickTriangles(PickRay& ray, int index, const Triangle* tris, size_t n);
PickHit pickPoint(const Lattice* lat, const float* trot, int width, int height, int x, int y,
                  size_t triangleBudget = SIZE_MAX, const std::vector<bool>& hidden = {},
                  const Section& cut = {}, float ortho = 0, float farPlane = 0);

// The world box of the drawn lattices of the list from `lat` (only `only`, when it is not
// null), as fitCamera counts them; false when nothing is drawn.
bool worldBox(const Lattice* lat, SceneBox& box, const Lattice* only = nullptr,
              size_t triangleBudget = SIZE_MAX, const std::vector<bool>& hidden = {},
              const FitAlso* also = nullptr);

// The orthographic view of pitch and yaw `trot` that frames the drawn lattices (only `only`,
// when it is not null) in a width x height frame with a small margin: sets trot's translation
// (the scene's middle at the point the view turns about) and `half`, the view's half-height.
// False, with both unchanged, when nothing is drawn.
bool fitOrtho(const Lattice* lat, int width, int height, float* trot, float& half,
              const Lattice* only = nullptr, size_t triangleBudget = SIZE_MAX,
              const std::vector<bool>& hidden = {}, const FitAlso* also = nullptr);

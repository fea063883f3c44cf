// Pieces of the `kelvane` command that tests use directly: the `info` report, OBJ export, the
// demo landscape, maps from JSON, headless rendering and outputs that are never half-written.
#pragma once

#include "mapfile/diff.h"
#include "mapfile/merge.h"
#include "mapfile/reader.h"
#include "mapfile/save.h"
#include "mapfile/writer.h"
#include "platform/output.h"
#include "render/flight.h"
#include "render/world.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

std::string infoJson(const LoadedMap& map);
// `v` as JSON that reads back as the same 32-bit float, at `p` (room for 32 characters): the
// shortest such number, whole ones as integers and -0 as -0.0; NaN and the infinities, which
// JSON has no number for, as the strings "nan", "inf" and "-inf". Returns the end.
char* writeJsonFloat(char* p, float v);

std::string infoText(const LoadedMap& map);

// `kelvane diff`'s report of `d` (diffMaps(a, b)): a line a changed, added or removed lattice
// and a summary line; or the same as JSON, with every changed value old and new.
std::string diffText(const LoadedMap& a, const LoadedMap& b, const MapDiff& d);
std::string diffJson(const LoadedMap& a, const LoadedMap& b, const MapDiff& d);

// Puts `changes` (what diffJson printed for this map and another) into the lattices of `map`,
// each old value checked against the map's. False, with `err` naming the change and why, for a
// change that is not of an editable value or does not fit the map; the map may then be half
// changed. savedMap then writes the changed map.
bool patchMap(LoadedMap& map, const std::string& changes, std::string& err);

// `kelvane merge`'s report of its conflicts: a line each ("conflict: lattice 3 (id 7) position:
// base (0, 0, 0), ours (1, 0, 0), theirs (2, 0, 0)"); or as JSON, each value's floats as
// diff --json writes them.
std::string conflictsText(const std::vector<MergeConflict>& conflicts);
std::string conflictsJson(const std::vector<MergeConflict>& conflicts);

// `kelvane dump`'s text of `map`: stable lines for line diffs, each led by "INDEX id ID: ".
std::string dumpText(const LoadedMap& map);

enum class ExportFormat { obj, glb, gltf };

// The format a file name's extension (.obj, .glb, .gltf, any case) asks for; false for none.
bool formatOfName(const std::string& name, ExportFormat& format);

struct ExportCounts {
  int64_t lattices = 0, triangles = 0;
  int64_t nonFinite = 0; // triangles left out for a non-finite corner
};

// Streams every drawn lattice in draw order, in world coordinates, wound consistently and
// facing out of its lattice, with its grey as colour, to `f` as `format`. `source` names the
// map in OBJ's header comment; `progress` shows progress on stderr for exports longer than a
// second. False with `err` set when writing failed or the format cannot hold the map (a .glb
// past 4 GiB; then nothing is written).
bool exportMap(const Lattice* lat, const std::string& source, ExportFormat format, std::FILE* f,
               bool progress, ExportCounts& counts, std::string& err);

// `text` with every control character (below 0x20, and 0x7F) written as \xHH, so it cannot
// end a line or a comment in a text format.
std::string escapeControls(const std::string& text);

// Bytes of a .glb with `jsonBytes` of JSON (before padding) and a binary chunk of
// `bufferBytes` when `withBuffer`; whether that is past what its 32-bit lengths hold, with the
// reason in `err` (with `jsonBytes` 0, a size still without its JSON: "more than").
uint64_t glbBytes(size_t jsonBytes, bool withBuffer, uint64_t bufferBytes);
bool glbTooLarge(size_t jsonBytes, bool withBuffer, uint64_t bufferBytes, std::string& err);

// Triangles a thumbnail draws at most (see boxedLattices).
constexpr size_t thumbnailTriangles = 2'000'000;

// The built-in sample landscape.
MapDesc demoMap();

// A map from JSON in the shape `info --json` prints. False, with `err` naming the place, when
// the text is not such a description or describes a map the format cannot hold.
bool mapFromJson(const std::string& text, MapDesc& map, std::string& err);

struct Camera {
  float trot[Trot::size] = {};
};

// What `render` draws: the picture's size in pixels, the camera, the axis lines, and the bytes
// the retained arrays may take (see geometryBudget).
struct RenderJob {
  int width = 640, height = 480;
  Camera cam;
  bool axes = false;
  int select = -1;         // list index of the lattice drawn in amber, -1 for none; must be drawn
  std::vector<int> hidden; // list indices of lattices not drawn (increasing); must be drawn
  bool grid = false;       // the selected lattice's cell grid over it, as G shows it
  Section cut;             // --section or --section-above
  float ortho = 0;         // --ortho's half-height; 0: the perspective projection
  float farPlane = 0;      // --far, or what --fit pushed the far plane out to; 0: the plain 1000
  bool mustShow = false;   // a fitted view of drawable lattices: an empty picture is a failure
  size_t budget = 0;
  size_t triangles = SIZE_MAX; // past it, lattices are drawn as their boxes (boxedLattices)
  // --compare: the old map's list and how the map differs from it; the frame colours each
  // lattice by its change and draws the removed ones from `old`.
  const Lattice* old = nullptr;
  const MapDiff* diff = nullptr;
  // --merge: where each lattice's changes came from (MergeOrigin bits by list index); the frame
  // colours the lattices by them and outlines the selection, as the merge view does.
  const std::vector<uint8_t>* origins = nullptr;
  FileIdentity outAtStart; // -o as it was when the command started (its link rule)
};

// `indices` (list indices) as flags by list index, as hideLattices and fitCamera take them.
std::vector<bool> hiddenByIndex(const std::vector<int>& indices);

// Draws the frame the viewer would draw for the job without any window system and writes it
// as PNG. False, with `err` set, on failure; `where` then names what failed: the output file,
// or "render" when no picture could be drawn.
bool renderPng(const Lattice* lat, const RenderJob& job, const std::string& out, std::string& where,
               std::string& err);

// The frame the viewer would draw for the job, drawn without any window system: RGB rows from
// the top. False with `err` set on failure.
bool renderRgb(const Lattice* lat, const RenderJob& job, std::vector<unsigned char>& rgb,
               std::string& err);

// Preparing a job as `kelvane render` does. The reason when --select or --hide names no drawn
// lattice, or the selected one is hidden; else true.
bool checkRenderLattices(const Lattice* lat, const RenderJob& job, std::string& err);
// --fit: moves the job's camera to frame the map (`file` names it); `said` gets the lines the
// command prints: the camera it chose, and a warning when nothing is drawn.
void fitRender(const std::string& file, const Lattice* lat, RenderJob& job,
               std::vector<std::string>& said);
// A fitted view `depth` units deep (to the farthest point it holds) reaches it: past the plain
// view's far plane, the job's is pushed out to hold it (fittedFar). A --far beyond stays.
void fitFar(RenderJob& job, double depth);
// A cut far past the scene keeps all of it or none, as a cut just past it does: the job's cut
// height is brought to within a unit of the map's box (a height near a float's limit would
// overflow the clip plane's transform and draw nothing at all).
void clampCut(const Lattice* lat, RenderJob& job);
// `kelvane thumbnail`'s job: SIZE x SIZE, the fitted view from pitch 30 and yaw -45, at most
// thumbnailTriangles drawn; false when no lattice is drawn (the picture is then empty).
bool thumbnailJob(const Lattice* lat, int size, RenderJob& job);
// The bytes the retained arrays may take here (KELVANE_GEOMETRY_MB, or a share of the memory);
// `warning` says when the setting was not understood.
size_t renderBudget(std::string& warning);

// `render --path`: a flight's keyframes and the frames a second it is drawn at; progress on
// stderr when it is a terminal.
struct FlightJob {
  std::vector<Keyframe> keys; // not empty
  int fps = 30;
  bool progress = false;
  bool force = false; // frames of an earlier flight in the folder are removed first
};

// The most frames a flight may have: more cannot be numbered, nor held by a folder or a video.
constexpr int64_t maxFlightFrames = 2'147'483'647;

// Draws the flight's frames for the job (its camera left aside) and writes them as PNG files
// out/frame0001.png … (making the folder out when it is missing), or, when out ends in .webm, as
// a VP9 WebM video. A folder that holds frames already is refused unless `flight.force`. A
// long job says its frame count, and for frames their estimated size, before it goes on. False
// with `err` set and `where` naming what failed, as renderPng.
bool renderFlight(const Lattice* lat, const RenderJob& job, const FlightJob& flight,
                  const std::string& out, std::string& where, std::string& err);

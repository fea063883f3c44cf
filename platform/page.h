// What the web layer shows on the page besides the canvas: one record the app fills from the
// viewer after every frame (fillPageView) and the layer hands to the page whole. The layer
// only reads it.
#pragma once

#include <string>
#include <vector>

struct PageView {
  bool running = false; // a viewer runs (before its first frame, and after, nothing to show)
  float camera[5] = {}; // trot positions 0-4
  int selected = -1;    // list index of the selected lattice, -1 for none
  std::string lattice;  // what the page's panel shows of the selected lattice
  std::string hidden;   // the hidden lattices as P writes them ("2,5-9"), "" for none
  std::string section;  // the cut and the orthographic view as the link writes them
                        // ("section=2.5&ortho=40"), "" for neither
  std::string outline;  // the drawn lattices for the page's outline (outlineText)
  std::string changes;  // with --compare, sent with the outline: "INDEX KIND" a line for each
                        // changed lattice of the shown map (added, moved, reshaped, both)
  int changeAt = -1;    // the change N went to, which the details describe
  unsigned maps = 0;    // maps built so far: the outline changes with it
  unsigned edits = 0;   // edits applied so far: the lattice's details change with them
  std::string measure;  // the measurement's lines, "" for none
  std::vector<std::string> flight; // the keyframes, each a keyframeLine after "--camera "
  bool playing = false;            // a flight is playing
  bool unsaved = false;            // the map has edits not saved
  // The view P printed last, whole and in the parts the page's link takes; `views` counts P.
  std::string view, viewCamera, viewHidden, viewSection;
  int viewSelected = -1;
  unsigned views = 0;
  // The last picture the page asked for (a PNG), its name, and how many were made.
  std::string picture, pictureName;
  unsigned pictures = 0;
  // The map as Ctrl+S or the page's Save map saved it last, its file name, and how many saves.
  std::string savedMap, savedMapName;
  unsigned saves = 0;
};

// The window property through which the app hands its PageView to the layer; it lives as long
// as the window has it.
constexpr const char* pageViewProp = "KelvanePageView";

// The controls table and the --help text made from it.
#include "controls.h"

const Control controls[] = {
    {"E / D", "move forward / back (one step per frame while held)"},
    {"S / F", "move left / right"},
    {"W / R", "move the scene up / down"},
    {"arrows", "turn left / right, tilt up / down"},
    {"T (held)", "show the axis lines from each parent to its lattice"},
    {"P", "print the view as --camera ... for 'kelvane render'"},
    {"Tab / Shift+Tab", "select the next / previous drawn lattice"},
    {"PageUp / PageDown", "select the parent / the first child of the selection"},
    {"Backspace", "clear the selection and the measurement"},
    {"H / Shift+H", "hide the selected lattice / every lattice but it"},
    {"Alt+H", "show every lattice again"},
    {"G", "show or hide the cell grid of the selected lattice"},
    {"Home", "fit the view to the selection, or to the whole map"},
    {"Enter", "add the view to the flight as a keyframe"},
    {"Shift+Enter", "play the flight (any key stops it)"},
    {"Ctrl+Enter", "print the flight as a keyframe file (render --path)"},
    {"Ctrl+Backspace", "forget the flight's keyframes"},
    {"F5", "load the map file again now"},
    {"F1", "show or hide this help"},
    {"I", "show or hide the info panel"},
    {"O", "show or hide every panel and message"},
    {"Escape", "quit"},
    {"left drag", "turn the view"},
    {"right drag", "pan (also the middle button)"},
    {"wheel", "move forward / back"},
    {"click", "select the lattice under the pointer; on nothing, clear"},
    {"Ctrl+click", "set measuring point A, then B: prints the distance"},
};
const int controlCount = int(sizeof controls / sizeof controls[0]);

std::string helpText() {
  std::string t =
      "Usage: kelvane-viewer MAP\n"
      "Shows the landscape lattices of a Kelvane map file in a 640 x 480 window.\n"
      "\n"
      "The whole command line, with every double quote removed, is the map file name. With\n"
      "no command line the first word of infile.txt in the working directory names the map;\n"
      "with neither, the window opens on a start screen and a map dropped on it opens.\n"
      "\n"
      "Keys and mouse:\n";
  for (const Control& c : controls) {
    std::string keys = c.keys;
    t += "  " + keys + std::string(keys.size() < 19 ? 19 - keys.size() : 1, ' ') + c.does + "\n";
  }
  t += "\n"
       "The selected lattice is drawn in amber; its description goes to stdout, its index into\n"
       "the window title, and a panel in the window shows more. P adds --select INDEX while a\n"
       "lattice is selected. Every line the viewer prints also shows at the bottom of the\n"
       "window for five seconds.\n"
       "\n"
       "The map file is watched: when it changes (and then stays the same for half a second)\n"
       "it is loaded again, keeping the view and the selection, and 'reloaded FILE: N lattices'\n"
       "goes to stdout; a reload that fails keeps the picture and says why on stderr. A map\n"
       "file dropped on the window opens in its place ('opened FILE: N lattices').\n"
       "\n"
       "Exit status: 0 when you quit; 1 when no map could be opened (the \"Error opening\n"
       "file.\" box) or no window could be created, with the reason on stderr.\n";
  return t;
}

// The commands and options of `kelvane`, with their help texts and examples.
#include "command_line.h"

namespace {

// An option or argument the command cannot do without.
template <class T> void need(CLI::App* app, const char* name, T& value, const char* help) {
  app->add_option(name, value, help)->required();
}

// The map a command reads, MAP, which may be standard input.
void mapArgument(CLI::App* app, Options& o) {
  need(app, "MAP", o.map, "Map file ('-' reads standard input)");
}

void defineInfo(CommandLine& cl, Options& o, const char* strictHelp) {
  cl.info = cl.app.add_subcommand("info", "Print the header and every lattice of a map");
  mapArgument(cl.info, o);
  cl.info->add_flag("--json", o.json, "Print JSON instead of text");
  cl.info->add_flag("--strict", o.strict, strictHelp);
  cl.info->footer("Example: kelvane info --json level.map");
}

void defineRender(CommandLine& cl, Options& o, const char* strictHelp) {
  CLI::App* r = cl.render =
      cl.app.add_subcommand("render", "Draw the viewer's frame of a map into a PNG file");
  mapArgument(r, o);
  need(r, "-o,--output", o.out, "PNG file to write ('-' for standard output)");
  r->add_option("--size", o.size, "Picture size WIDTHxHEIGHT (default 640x480)");
  r->add_option("--camera", o.camera,
                "View as TX,TY,TZ,PITCH,YAW: the scene's translation in world units, then "
                "pitch and yaw in degrees, turning about a point 50 units in front of the "
                "eye; the viewer prints it when you press P (default 0,0,0,0,0, where the "
                "viewer starts)");
  r->add_flag("--fit", o.fit,
              "Choose the translation so that every drawn lattice fits the frame, keeping "
              "the pitch and yaw of --camera (30 and -45 without it); prints the camera "
              "used on stderr");
  r->add_flag("--axes", o.axes, "Draw the parent axis lines, as while T is held");
  r->add_option("--select", o.select,
                "Draw lattice INDEX (numbered as 'kelvane info' numbers them) in amber, as the "
                "viewer shows a selected lattice; with --fit, frame that lattice");
  r->add_option("--path", o.path,
                "Draw a flight instead of one view: KEYS is a keyframe file, a '--camera ...' "
                "line each (as the viewer's Enter and Ctrl+Enter print them), optionally "
                "followed by '--hold SECONDS'; '#' starts a comment. -o DIR writes "
                "DIR/frame0001.png ..., -o OUT.webm a VP9 video");
  r->add_option("--fps", o.fps, "Frames a second of a --path flight (default 30)");
  r->add_flag("--force", o.force,
              "With --path and -o DIR: replace the frames an earlier flight left in DIR (without "
              "it, such a folder is refused)");
  r->add_flag("--grid", o.grid,
              "Draw the cell edges of the --select lattice over its faces, as G shows them");
  r->add_option("--hide", o.hide,
                "Leave out the lattices LIST names (increasing indices, runs as A-B: 2,5-9,14), "
                "as the viewer hides them; --fit fits what is shown");
  r->add_option("--section", o.section,
                "Cut the scene at height Y (world units) and leave out what lies above, as the "
                "viewer's C does");
  r->add_option("--section-above", o.sectionAbove,
                "Cut the scene at height Y and leave out what lies below, as Shift+C does");
  r->add_option(
      "--ortho", o.ortho,
      "Draw an orthographic view of half-height H (H units above and below its middle) instead of "
      "the perspective one, as the viewer's numpad 5 and axis views do; with --fit, "
      "H is fitted too");
  r->add_option("--far", o.farPlane,
                "How far the perspective view reaches, in units from the eye (default 1000, the "
                "viewer's); --fit pushes it out to hold a deeper scene and prints it");
  r->add_option("--compare", o.compare,
                "Colour each lattice by how MAP changed it from OLD, as kelvane-viewer "
                "--compare OLD MAP shows it: added green, moved blue, reshaped orange, both "
                "violet, removed (drawn from OLD) red, the rest grey");
  r->add_option("--merge", o.merge,
                "Colour each lattice of MAP (a merge's result) by where its changes came from, as "
                "kelvane-viewer --merge BASE OURS THEIRS MAP shows it: ours blue, theirs green, "
                "both cyan, the lattices of the three maps' conflicts magenta, the rest grey")
      ->expected(3)
      ->type_name("BASE OURS THEIRS")
      ->excludes("--compare");
  r->add_flag("--strict", o.strict, strictHelp);
  r->footer("Example: kelvane render level.map -o level.png --size 1280x960 --fit\n"
            "         kelvane render level.map -o level.png --camera 0,5,0,20,-45\n"
            "         kelvane render level.map --path flight.txt -o flight.webm\n"
            "         kelvane render new.map --compare old.map -o changes.png --fit\n"
            "         kelvane render merged.map --merge base.map ours.map theirs.map -o m.png");
}

void defineExport(CommandLine& cl, Options& o, const char* strictHelp) {
  CLI::App* e = cl.exp = cl.app.add_subcommand(
      "export", "Write every drawn lattice as a mesh: Wavefront OBJ or glTF 2.0 (.glb, .gltf)");
  mapArgument(e, o);
  need(e, "-o,--output", o.out,
       "File to write: .obj, .glb or .gltf ('-' for standard output, with --format)");
  e->add_option("--format", o.format, "obj, glb or gltf (default: from the output's extension)")
      ->check(CLI::IsMember({"obj", "glb", "gltf"}));
  e->add_flag("--strict", o.strict, strictHelp);
  e->footer("Triangles face out of their lattice and carry an outward normal; those with a "
            "non-finite corner are left out with a warning.\n"
            "Example: kelvane export level.map -o level.glb");
}

void defineThumbnail(CommandLine& cl, Options& o) {
  CLI::App* t = cl.thumb = cl.app.add_subcommand(
      "thumbnail", "Write a square PNG picture of the whole map, for file managers");
  need(t, "-s,--size", o.thumbSize, "The picture's width and height in pixels, 16 to 1024");
  mapArgument(t, o);
  need(t, "OUT", o.out, "PNG file to write, whatever its name ends in");
  t->footer("The view is render --fit's; nothing is printed unless it fails. At most 2000000\n"
            "triangles are drawn: in list order, a lattice past what is left of that is drawn\n"
            "as its bounding box, so any map takes seconds at most.\n"
            "Example: kelvane thumbnail -s 256 level.map level.png");
}

void defineWriters(CommandLine& cl, Options& o) {
  cl.demo = cl.app.add_subcommand("demo", "Write the built-in sample landscape as a map file");
  need(cl.demo, "-o,--output", o.out, "Map file to write");
  cl.demo->footer("Example: kelvane demo -o demo.map && kelvane-viewer demo.map");

  cl.make = cl.app.add_subcommand("make-map", "Build a map file from a JSON description");
  need(cl.make, "DESC", o.desc, "JSON in the shape 'kelvane info --json' prints ('-' for stdin)");
  need(cl.make, "-o,--output", o.out, "Map file to write");
  cl.make->footer(
      "Example: kelvane info --json a.map > a.json && kelvane make-map a.json -o b.map");
}

void defineDiff(CommandLine& cl, Options& o) {
  CLI::App* d = cl.diff = cl.app.add_subcommand(
      "diff", "Print what differs between two maps: lattices moved, reshaped, added or removed");
  need(d, "OLD", o.map, "The map before ('-' reads standard input)");
  need(d, "NEW", o.other, "The map after");
  d->add_flag("--json", o.json, "Print JSON, with every changed value old and new");
  d->footer(
      "Lattices pair by their ids in list order, as diff pairs lines; the rest of the files\n"
      "(header, other records, bytes of a lattice record not read) compares as bytes.\n"
      "Exit status: 0 the maps are the same, 1 they differ, 2 trouble (bad usage, a file that\n"
      "cannot be read or is not a map).\n"
      "Example: kelvane diff old.map new.map");
}

void definePatch(CommandLine& cl, Options& o) {
  CLI::App* p = cl.patch = cl.app.add_subcommand(
      "patch", "Write a map with the changes 'kelvane diff --json' printed put into it");
  need(p, "MAP", o.map, "The map the changes were made from ('-' reads standard input)");
  need(p, "CHANGES", o.desc, "What 'kelvane diff MAP OTHER --json' printed");
  need(p, "-o,--output", o.out, "Map file to write");
  p->footer(
      "Only positions, rotations, cell sizes, heights and insets change, and no byte but\n"
      "theirs; a change of anything else (a lattice added or removed, cells, other bytes)\n"
      "is refused, naming it, and nothing is written.\n"
      "Example: kelvane diff a.map b.map --json > d.json && kelvane patch a.map d.json -o c.map");
}

void defineDump(CommandLine& cl, Options& o) {
  cl.dump = cl.app.add_subcommand(
      "dump", "Print a map as lines made for line diffs (git's textconv: git diff in words)");
  mapArgument(cl.dump, o);
  cl.dump->footer(
      "A line per lattice's placement, its cells and references, each inset list and each row\n"
      "of its heights, each led by the lattice's index and id; the bytes the lines do not\n"
      "show are summed up in a hash. The same map always prints the same text.\n"
      "Example: git config diff.kelvane.textconv 'kelvane dump'");
}

void defineMerge(CommandLine& cl, Options& o) {
  CLI::App* m = cl.merge = cl.app.add_subcommand(
      "merge", "Merge two maps made from one base, as git merges text: both sides' edits kept");
  need(m, "BASE", o.map, "The map both sides were made from");
  need(m, "OURS", o.other, "One side");
  need(m, "THEIRS", o.theirs, "The other side");
  m->add_option("-o,--output", o.out, "Map file to write (default: OURS, as git's merge driver)");
  m->add_option("--conflicts", o.conflicts, "Write the conflicts as JSON to this file");
  m->footer(
      "Lattices pair with BASE's as diff pairs them. A value (position, rotation, cell size, a\n"
      "height, an inset) changed on one side is taken; changed on both alike, once; changed\n"
      "on both differently, it is a conflict and OURS's value stays. When one side changed\n"
      "the structure (lattices added or removed, cells, list lengths, other bytes) the result\n"
      "is its map with the other side's values put in; when both did, only the same change\n"
      "merges. Each conflict is printed as a line.\n"
      "Exit status: 0 merged cleanly, 1 merged with conflicts (written all the same), 2\n"
      "trouble (bad usage, a file that cannot be read or is not a map; nothing written).\n"
      "Example: kelvane merge base.map ours.map theirs.map -o merged.map");
}

void defineGitSetup(CommandLine& cl, Options& o) {
  CLI::App* g = cl.gitSetup = cl.app.add_subcommand(
      "git-setup", "Make git diff, merge and show maps through kelvane (once per repository)");
  g->add_flag("--global", o.global,
              "Set it up in your own git configuration, for every repository, instead");
  g->footer(
      "Adds '*.map diff=kelvane merge=kelvane' to .gitattributes (with --global, to your own\n"
      "attributes file) and to git's configuration: 'kelvane dump' as the maps' textconv (git\n"
      "diff, log -p, show and blame speak in lattices), 'kelvane merge' as their merge driver\n"
      "(git merge, rebase and cherry-pick merge maps), and the viewer's --compare and --merge\n"
      "as difftool and mergetool 'kelvane' (also diff.tool and merge.tool, unless chosen\n"
      "already). Nothing else is touched, nothing is added twice, and each addition is said.\n"
      "Example: cd my-level && kelvane git-setup && git merge other-branch");
}

} // namespace

void defineCommands(CommandLine& cl, Options& o) {
  cl.app.set_version_flag("--version", "kelvane " KELVANE_VERSION);
  cl.app.require_subcommand(1);
  cl.app.footer("Run 'kelvane COMMAND --help' for the options and an example of one command.\n"
                "Exit status: 0 success; 1 a file could not be read or written, is not a map, or\n"
                "(with --strict) loaded with warnings; 2 bad usage.");
  const char* strictHelp = "Fail (exit 1, nothing written) when the map loads with warnings";
  defineInfo(cl, o, strictHelp);
  defineRender(cl, o, strictHelp);
  defineExport(cl, o, strictHelp);
  defineThumbnail(cl, o);
  defineWriters(cl, o);
  defineDiff(cl, o);
  definePatch(cl, o);
  defineMerge(cl, o);
  defineGitSetup(cl, o);
  defineDump(cl, o);
}

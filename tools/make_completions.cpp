// Writes kelvane's shell completions into a folder at build time: kelvane.bash, _kelvane (zsh)
// and kelvane.fish, each made from the command line the program parses.
#include "completions.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_completions DIR\n");
    return 2;
  }
  CommandLine cl;
  Options o;
  defineCommands(cl, o);
  struct {
    const char* name;
    std::string text;
  } files[] = {{"kelvane.bash", bashCompletion(cl.app)},
               {"_kelvane", zshCompletion(cl.app)},
               {"kelvane.fish", fishCompletion(cl.app)}};
  for (const auto& f : files) {
    std::string path = std::string(argv[1]) + "/" + f.name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(f.text.data(), 1, f.text.size(), out) != f.text.size() ||
        std::fclose(out) != 0) {
      std::fprintf(stderr, "make_completions: %s: cannot write\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

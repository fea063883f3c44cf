// `kelvane`: inspect, render, export and build map files from the command line.
#include "toolkit.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

namespace {

constexpr const char* version = "kelvane 1.0.0";

int fail(const std::string& file, const std::string& reason) {
  std::fprintf(stderr, "kelvane: %s: %s\n", file.c_str(), reason.c_str());
  return 1;
}

void printWarnings(const std::string& file, const LoadReport& rep) {
  for (const std::string& w : rep.warnings)
    std::fprintf(stderr, "kelvane: %s: warning: %s\n", file.c_str(), w.c_str());
}

int runInfo(const std::string& file, bool json) {
  LoadedMap map;
  std::string err;
  if (!loadMap(file, map, err)) return fail(file, err);
  if (json) {
    std::fputs(infoJson(map).c_str(), stdout);
  } else {
    std::fputs(infoText(map).c_str(), stdout);
    printWarnings(file, map.rep);
  }
  return std::fflush(stdout) == 0 ? 0 : fail("stdout", "write failed");
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Inspect, render, export and build Kelvane map files.", "kelvane"};
  app.set_version_flag("--version", version);
  app.require_subcommand(1);
  app.footer("Run 'kelvane COMMAND --help' for the options of one command.");

  std::string map;
  bool json = false;
  auto* info = app.add_subcommand("info", "Print the header and every lattice of a map");
  info->add_option("MAP", map, "Map file ('-' reads standard input)")->required();
  info->add_flag("--json", json, "Print JSON instead of text");
  info->footer("Example: kelvane info --json level.map");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "kelvane: %s\nRun 'kelvane --help' for usage.\n", e.what());
    return 2;
  }
  if (info->parsed()) return runInfo(map, json);
  return 2;
}

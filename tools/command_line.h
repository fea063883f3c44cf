// The `kelvane` command line: its commands and options, declared once with CLI11. The
// program parses with it, and the shell completions are made from it at build time.
#pragma once

#include "command.h"

#include <CLI/CLI.hpp>

struct CommandLine {
  CLI::App app{"Inspect, render, export and build Kelvane map files.", "kelvane"};
  CLI::App *info = nullptr, *render = nullptr, *exp = nullptr, *thumb = nullptr, *demo = nullptr,
           *make = nullptr, *diff = nullptr, *patch = nullptr, *merge = nullptr, *dump = nullptr,
           *gitSetup = nullptr;
};

// Declares every command and option of `cl`, each option stored into `o` when parsed.
void defineCommands(CommandLine& cl, Options& o);

// Shell completions for `kelvane` (bash, zsh, fish), made from its command line at build time so
// that they offer exactly the commands and options the program takes.
#pragma once

#include "command_line.h"

#include <string>

std::string bashCompletion(const CLI::App& app);
std::string zshCompletion(const CLI::App& app);
std::string fishCompletion(const CLI::App& app);

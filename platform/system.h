// Facts about the machine that the app and the toolkit ask for.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// The machine's physical memory in bytes; 0 when the system does not say.
size_t physicalMemory();

// Opens `name` for binary reading when it is a regular file, without waiting on what is not
// (opening a named pipe would wait for a writer); null with `why` set otherwise.
std::FILE* openRegularFile(const std::string& name, std::string& why);

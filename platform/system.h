// Facts about the machine that the app and the toolkit ask for.
#pragma once

#include <cstddef>

// The machine's physical memory in bytes; 0 when the system does not say.
size_t physicalMemory();

// The `kelvane` command on POSIX systems: the terminal check and binary standard streams.
#include "command.h"

#include <unistd.h>

#include <cstdio>

bool stderrIsTerminal() {
  return isatty(fileno(stderr));
}

void useBinaryStdio() {} // bytes are bytes here

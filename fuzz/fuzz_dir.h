/* The scratch directory of a fuzz target, made on first use: on a memory file system when
 * there is one (the targets write a file per input), else under /tmp. */
#ifndef FUZZ_DIR_H
#define FUZZ_DIR_H

#include <stdlib.h>

#include <string>

inline std::string MakeFuzzDir(const char *name) {
  for (const char *base : {"/dev/shm/", "/tmp/"}) {
    std::string pattern = std::string(base) + name + ".XXXXXX";
    if (mkdtemp(&pattern[0])) return pattern;
  }
  abort();
}

#endif

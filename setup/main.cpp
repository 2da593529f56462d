/* The installer's entry point. */
#include <stdlib.h>

#include "setup.h"

int main(int argc, char **argv) {
  startUp(argc, argv);
  /* The install sequence (space check, running programs, relocation, staging, install,
   * clean-up) follows here once it is in place. */
  exit(0);
}

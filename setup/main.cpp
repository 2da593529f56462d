/* The installer's entry point: start-up (command line, earlier installation, paths), then
 * the install sequence (space, running programs, relocation, staging, install, clean-up). */
#include "setup.h"

int main(int argc, char **argv) {
  startUp(argc, argv);
  runInstallSequence();
}

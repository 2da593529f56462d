// Text menu engine: shared state.
#include "TextMenu.h"

char flExitTextMenu = 0;

/* Globals shared by the whole library: the program name and the two scratch buffers. */
#include "utils.h"

namespace {
/* Until a program names itself, messages and the log use the installer's name, so that no
 * caller ever formats a null name. */
char defaultName[] = "setup";
}  // namespace

char *my_name = defaultName;
char LineBuf[LINEBUF_SIZE];
char Line[LINE_SIZE];
char *pToolPath = nullptr;
FILE *pOut = nullptr;

/* Text menu engine: the engine's globals, preparing and releasing a menu, and the settings
 * file (storing and loading the values of a menu tree). */
#include <string.h>

#include "TextMenu.h"

char flExitTextMenu = 0;
char flLoadedSettings = 0;
const char MENUVAL_SAVE = 's';
const char MENUVAL_CANCEL = 'c';
const char MENUVAL_DEFAULT = 'd';
char *VPATTYMENU_SAVE = nullptr;
char *VPATTYMENU_CANCEL = nullptr;
char *VPATTYMENU_CURSEL = nullptr;
char *VPATTYMENU_CURSELTRUNC = nullptr;
char *VPATTYMENU_OPTION = nullptr;
const char *pTtyHtmlName = nullptr;
const char *pTtyHtmlData = nullptr;
const char *pTtyHtmlTitle = "Help";
TextMenuItem BlankTaskItem = {"",
                              TM_KIND_PLACEHOLDER,
                              TM_STATE_ACTIVE,
                              nullptr,
                              nullptr,
                              nullptr,
                              3,
                              0,
                              0,
                              nullptr,
                              0,
                              nullptr,
                              -1,
                              0,
                              nullptr,
                              0};

intptr_t TextMenuFloatBits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return static_cast<intptr_t>(bits);
}

float TextMenuFloat(intptr_t bits) {
  uint32_t low = static_cast<uint32_t>(bits);
  float value;
  memcpy(&value, &low, sizeof value);
  return value;
}

/* Fuzz target of menu settings files: the input is loaded with LoadMenu into a fixed menu
 * tree (every stored kind, a sub-menu chosen by a condition, a sub-menu that leads back to
 * the top), then stored again. Checks that every text buffer stays terminated within its
 * 256 bytes and that item kinds only move within the kinds of the same value. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "MemMgr.h"
#include "TextMenu.h"
#include "utils.h"

namespace {

char colours[] = "_Red,_Green, Blue";
char trays[] = "A,B,C";
TextMenuItem top[9], sub[5];
TextMenu topMenu, subMenu;
TextMenu *subs[2] = {&subMenu, &topMenu};
const uint32_t topKinds[] = {TM_KIND_LINE,  TM_KIND_NAME,    TM_KIND_INT,       TM_KIND_PICK_ONE,
                             TM_KIND_FLOAT, TM_KIND_SUBMENU, TM_KIND_PICK_MANY, TM_KIND_TEXT};
int applyCalls = 0;

void *Apply(TextMenu *, TextMenuItem *) {
  ++applyCalls;
  return nullptr;
}

void Build() {
  for (int i = 0; i < 8; ++i) {
    top[i] = TextMenuItem{};
    top[i].pLabel = "item";
    top[i].Kind = topKinds[i];
    top[i].Saved = -1;
  }
  top[3].pChoices = colours;
  top[3].pFormat = "H2{1}S0{2.7}";
  top[5].pFormat = "3.0 3.1";
  top[5].Value = reinterpret_cast<intptr_t>(subs);
  top[6].pChoices = trays;
  top[8] = TextMenuItem{};
  sub[0] = TextMenuItem{};
  sub[0].pLabel = "note";
  sub[0].Kind = TM_KIND_TEXT;
  sub[1] = TextMenuItem{};
  sub[1].pLabel = "apply";
  sub[1].Kind = TM_KIND_APPLY;
  sub[1].Callback = Apply;
  sub[2] = TextMenuItem{};
  sub[2].pLabel = "top";
  sub[2].Kind = TM_KIND_SUBMENU;
  sub[2].Value = reinterpret_cast<intptr_t>(&topMenu);
  sub[3] = TextMenuItem{};
  sub[3].pLabel = "number";
  sub[3].Kind = TM_KIND_INT;
  sub[4] = TextMenuItem{};
  topMenu = {"Top", 0, nullptr, nullptr, nullptr, nullptr, top, 0};
  subMenu = {"Sub", 0, nullptr, nullptr, &topMenu, nullptr, sub, 0};
}

int Family(uint32_t kind) {
  if (kind == TM_KIND_INT || kind == TM_KIND_PICK_ONE) return 1;
  if (kind == TM_KIND_NAME || kind == TM_KIND_TEXT) return 2;
  return static_cast<int>(kind) + 10;
}

void Check(const TextMenuItem *items, const uint32_t *kinds, int count) {
  for (int i = 0; i < count; ++i) {
    if (Family(items[i].Kind) != Family(kinds[i])) abort();
    if (items[i].State > TM_STATE_HIDDEN) abort();
    if ((items[i].Kind == TM_KIND_NAME || items[i].Kind == TM_KIND_TEXT) && items[i].Value != 0 &&
        strnlen(reinterpret_cast<const char *>(items[i].Value), TM_TEXT_SIZE) >= TM_TEXT_SIZE)
      abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FILE *sink = fopen("/dev/null", "w");
  my_name = const_cast<char *>("settings_fuzz");
  Build();
  InitMenu(&topMenu, 0);
  pIn = fmemopen(const_cast<uint8_t *>(data), size, "r");
  if (size == 0 || pIn == nullptr) {
    if (pIn != nullptr) fclose(pIn);
    pIn = nullptr;
    FreeMenu(&topMenu);
    return 0;
  }
  LoadMenu(&topMenu);
  CloseInputFile(0);
  const uint32_t subKinds[] = {TM_KIND_TEXT, TM_KIND_APPLY, TM_KIND_SUBMENU, TM_KIND_INT};
  Check(top, topKinds, 8);
  Check(sub, subKinds, 4);
  pOut = sink;
  StoreMenu(&topMenu);
  pOut = nullptr;
  FreeMenu(&topMenu);
  FreeMenu(&subMenu);
  return 0;
}

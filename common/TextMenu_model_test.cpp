/* Tests of preparing a menu and of its settings file: keys and values after InitMenu, the
 * byte-exact file of a menu tree and its round trip, and damaged files. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "MemMgr.h"
#include "TextMenu.h"
#include "TextMenu_session_test.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

int applied = 0;
std::string appliedNote;
void *CountApply(TextMenu *menu, TextMenuItem *) {
  ++applied;
  appliedNote = reinterpret_cast<const char *>(menu->pItems[0].Value);
  return nullptr;
}

/* A top menu with every stored kind and a sub-menu that has an apply item and a way back
 * to the top (a cycle through kind 8). */
class SettingsTest : public ::testing::Test {
 public:
  void SetUp() override {
    my_name = const_cast<char *>("tm_model_test");
    applied = 0;
    Build();
  }
  void TearDown() override {
    FreeMenu(&top_);
    FreeMenu(&sub_);
  }

  /* The menus as the client wrote them, prepared. */
  void Build() {
    sub_items_ = {Item("Note", TM_KIND_TEXT, reinterpret_cast<intptr_t>("a b")),
                  Item("Apply", TM_KIND_APPLY), Item("Top", TM_KIND_SUBMENU), Item(nullptr, 0)};
    sub_items_[1].Callback = CountApply;
    sub_items_[2].Value = reinterpret_cast<intptr_t>(&top_);
    sub_ = {"Options", 0, nullptr, nullptr, &top_, nullptr, sub_items_.data(), 0};
    top_items_ = {Item("Title text", TM_KIND_LINE),
                  Item("Name", TM_KIND_NAME, reinterpret_cast<intptr_t>("lp0")),
                  Item("Port", TM_KIND_INT, 515),
                  Item("Colour", TM_KIND_PICK_ONE, 1),
                  Item("Speed", TM_KIND_FLOAT, TextMenuFloatBits(2.5f)),
                  Item("Options", TM_KIND_SUBMENU),
                  Item("~x Quit", TM_KIND_LEAVE),
                  Item(nullptr, 0)};
    top_items_[3].pChoices = colours_;
    top_items_[5].Value = reinterpret_cast<intptr_t>(&sub_);
    top_ = {"Main", 0, nullptr, nullptr, nullptr, nullptr, top_items_.data(), 0};
    InitMenu(&top_, 0);
  }

  std::string Store() {
    char *buf = nullptr;
    size_t len = 0;
    pOut = open_memstream(&buf, &len);
    EXPECT_EQ(StoreMenu(&top_), 1);
    fclose(pOut);
    pOut = nullptr;
    std::string text(buf, len);
    free(buf);
    return text;
  }

  void Load(std::string text) {
    pIn = fmemopen(&text[0], text.size(), "r");
    LoadMenu(&top_);
    CloseInputFile(0);
  }

  std::string Text(const TextMenu &menu, int i) {
    const char *text = reinterpret_cast<const char *>(menu.pItems[i].Value);
    return text != nullptr ? text : "(null)";
  }

  char colours_[16] = "_Red,_Green";
  std::vector<TextMenuItem> top_items_, sub_items_;
  TextMenu top_{}, sub_{};
};

TEST(InitMenuTest, KeysValuesAndFormatsAfterEveryItemIsPrepared) {
  std::string list = "c1";
  for (int i = 2; i <= 40; ++i) list += ",c" + std::to_string(i);
  std::vector<char> many(list.begin(), list.end() + 1);
  std::vector<TextMenuItem> items = {Item("~x Quit", TM_KIND_LEAVE),
                                     Item("Alpha", TM_KIND_TEXT),
                                     Item("Beta", TM_KIND_PICK_ONE),
                                     Item("Gamma", TM_KIND_INT, 3),
                                     Item("Mask", TM_KIND_PICK_MANY),
                                     Item("Many", TM_KIND_PICK_MANY),
                                     Item(nullptr, 0)};
  char choices[] = "a,b";
  items[2].pChoices = choices;
  items[2].pFormat = "S*{3.7}"; /* sets an item that comes after it */
  items[3].Saved = 0;
  items[4].pChoices = choices;
  items[5].pChoices = many.data();
  items[5].Value = 5;
  TextMenu menu = {"M", 0, nullptr, nullptr, nullptr, nullptr, items.data(), 0};
  testing::internal::CaptureStderr();
  EXPECT_EQ(InitMenu(&menu, 0), 7);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(items[0].Key, static_cast<uint32_t>('x'));
  EXPECT_EQ(items[1].Key, 1u);
  EXPECT_EQ(items[2].Key, 2u);
  EXPECT_EQ(reinterpret_cast<const char *>(items[1].Value), std::string(""));
  EXPECT_EQ(items[3].Value, 7);
  EXPECT_EQ(items[3].Saved, 3);
  EXPECT_EQ(items[4].Value, 1);
  EXPECT_EQ(items[4].Default, 1);
  EXPECT_EQ(items[5].Value, 5);
  EXPECT_EQ(items[5].ChoiceCnt, 32);
  EXPECT_NE(err.find("WARNING: menu item \"Many\" lists 40 choices"), std::string::npos) << err;
  FreeMenu(&menu);
  EXPECT_EQ(items[1].Value, 0);
}

TEST_F(SettingsTest, StoredTreeIsExactAndLoadsBackWhole) {
  strcpy(reinterpret_cast<char *>(top_items_[1].Value), " My Printer] 1 2");
  top_items_[2].Value = -7;
  top_items_[3].Value = 0;
  top_items_[4].Value = TextMenuFloatBits(-1.25f);
  top_items_[6].State = TM_STATE_HIDDEN;
  const std::string expected =
      "1[ My Printer] 1 2] 11 0\n2[-7] 13 0\n3[0] 9 0\n4[-1.250] 14 0\n5{\n0[a b] 12 0\n}\n";
  EXPECT_EQ(Store(), expected); /* the sub-menu never ran: its text is its Default */

  FreeMenu(&top_);
  InitMenu(&top_, 0);
  EXPECT_EQ(Text(top_, 1), "lp0");
  Load(expected);
  EXPECT_EQ(Text(top_, 1), " My Printer] 1 2");
  EXPECT_EQ(top_items_[2].Value, -7);
  EXPECT_EQ(top_items_[3].Value, 0);
  EXPECT_STREQ(top_items_[3].pChoiceText, "_Red");
  EXPECT_EQ(TextMenuFloat(top_items_[4].Value), -1.25f);
  EXPECT_EQ(Text(sub_, 0), "a b"); /* loaded into a sub-menu that has no buffer yet */
  EXPECT_EQ(applied, 1);
  EXPECT_EQ(appliedNote, "a b");
  EXPECT_EQ(flLoadedSettings, 1);
  EXPECT_EQ(Store(), expected);
}

TEST_F(SettingsTest, DamagedLinesAreSkippedAndTheRestLoads) {
  const std::string a300(300, 'a');
  const struct {
    std::string file;
    intptr_t port;
    uint32_t portKind, portState;
    std::string name, note;
    int applied;
  } cases[] = {
      {"9[1] 13 0\n-1[1] 13 0\nx[1] 13 0\n2[4] 13 0\n", 4, 13, 0, "lp0", "(null)", 0},
      {"2[5] 8 0\n2[6] 12 0\n2[7] 13 9\n", 7, 13, 0, "lp0", "(null)", 0},
      {"2[7] 9 1\n", 7, 9, 1, "lp0", "(null)", 0},
      {"1[7] 13 0\n2[abc] 13 0\n2[99999999999] 13 0\n", 515, 13, 0, "7", "(null)", 0},
      {"}\n3{\n2[9] 13 0\n4{\n}\n}\n2[8] 13 0\n0[x] 12 0\n", 8, 13, 0, "lp0", "(null)", 0},
      {"1[" + a300 + "] 11 0\r\n2[3] 13 0\r\n", 3, 13, 0, a300.substr(0, 255), "(null)", 0},
      {"1[" + std::string(600, 'b') + "] 11 0\n4[nan] 14 0\n4[x1] 14 0\n", 515, 13, 0, "lp0",
       "(null)", 0},
      {"5{\n2{\n5{\n0[deep] 12 0\n}\n}\n}\n", 515, 13, 0, "lp0", "deep", 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file.substr(0, 60));
    FreeMenu(&top_);
    FreeMenu(&sub_);
    Build();
    applied = 0;
    Load(c.file);
    EXPECT_EQ(top_items_[2].Value, c.port);
    EXPECT_EQ(top_items_[2].Kind, c.portKind);
    EXPECT_EQ(top_items_[2].State, c.portState);
    EXPECT_EQ(Text(top_, 1), c.name);
    EXPECT_EQ(Text(sub_, 0), c.note);
    EXPECT_EQ(applied, c.applied);
    EXPECT_EQ(TextMenuFloat(top_items_[4].Value), 2.5f);
  }
}

TEST_F(SettingsTest, StoringNeedsAStreamAndStopsAtACycle) {
  pOut = nullptr;
  EXPECT_EQ(StoreMenu(&top_), 0);
  std::string text = Store();
  EXPECT_EQ(text.find("5{"), text.rfind("5{"));
  EXPECT_EQ(text.find("2{"), std::string::npos) << text; /* the way back to the top */
}

}  // namespace

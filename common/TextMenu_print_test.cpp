/* Tests of the menu screen, compared byte for byte: titles, item lines with leaders and
 * values, inactive, hidden and hot-key items, sub-menus, rows of cells. "<CLEAR>" is the
 * fake clear; without a catalogue the prompt line and the pick-many opening show as keys. */
#include <string>

#include "TextMenu.h"
#include "TextMenu_session_test.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

class PrintTest : public MenuSessionTest {
 protected:
  void SetUp() override {
    MenuSessionTest::SetUp();
    my_name = const_cast<char *>("tm_print_test");
  }
};

TEST_F(PrintTest, ValueMenu) {
  char colours[] = "_Red,_Green";
  char trays[] = "A,B,C";
  TextMenu sub = {"Options", 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
  TextMenuItem items[] = {
      Item("Text", TM_KIND_LINE),
      Item("Port", TM_KIND_INT, 515),
      Item("Colour", TM_KIND_PICK_ONE, 1),
      Item("Trays", TM_KIND_PICK_MANY),
      Item("Name", TM_KIND_TEXT, reinterpret_cast<intptr_t>("lp"), TM_STATE_INACTIVE),
      Item("Hidden", TM_KIND_INT, 0, TM_STATE_HIDDEN),
      Item("Gone", TM_KIND_LINE, 0, TM_STATE_HIDDEN),
      Item("Speed", TM_KIND_FLOAT, TextMenuFloatBits(2.5f)),
      Item("Sub", TM_KIND_SUBMENU, 0),
      Item("Never", TM_KIND_SUBMENU, 0),
      Item("Missing", TM_KIND_PICK_ONE, 5),
      Item("~x Quit", TM_KIND_LEAVE),
      Item(nullptr, 0),
  };
  items[2].pChoices = items[10].pChoices = colours;
  items[3].pChoices = trays;
  items[3].Value = 5;
  items[8].Value = reinterpret_cast<intptr_t>(&sub);
  items[9].Value = reinterpret_cast<intptr_t>(&sub);
  items[9].pFormat = "1.0";
  TextMenu menu = {"Main", TM_TITLE_PLAIN, nullptr, nullptr, nullptr, nullptr, items, 0};
  Session s = Run("", [&] {
    InitMenu(&menu, 0);
    printf("before");
    return PrintMenu(&menu, 10, 4);
  });
  EXPECT_EQ(s.out,
            "before<CLEAR>\f\nMain:\n\n"
            "Text \n\n"
            " 1) Port ...... [515]\n\n"
            " 2) Colour .... [2. Green]\n\n"
            " 3) Trays .....25_2701,3]\n\n"
            "    Name ...... [lp]\n\n"
            " 6) Speed ..... [2.500]\n\n"
            " 7) Options \n\n"
            " 9) Missing ... [ ]\n\n"
            " x) Quit \n\n"
            "25_510");
  EXPECT_EQ(s.status, 12);
}

TEST_F(PrintTest, TitlesRowsAndSingleSpacing) {
  TextMenuItem items[] = {
      Item("Page text", TM_KIND_LINE),
      Item("Link one", TM_KIND_ACTION),
      Item("", TM_KIND_COLUMNS, 1),
      Item("", TM_KIND_COLUMNS, 3),
      Item("~e Exit Help", TM_KIND_LEAVE),
      Item("~c Contents", TM_KIND_ACTION),
      Item("~b Back", TM_KIND_ACTION),
      Item("A label of thirty characters..", TM_KIND_ACTION),
      Item("Hidden cell", TM_KIND_ACTION, 0, TM_STATE_HIDDEN),
      Item("Last", TM_KIND_ACTION),
      Item(nullptr, 0),
  };
  const std::string title = "ABCDEFGHIJKLMNOPQRST";
  TextMenu menu = {title.c_str(), TM_TITLE_CENTRED, nullptr, nullptr,
                   nullptr,       nullptr,          items,   TM_FLAG_SINGLE_SPACED};
  Session s = Run("", [&] {
    InitMenu(&menu, 0);
    PrintMenu(&menu, 0, 20);
    menu.TitleStyle = TM_TITLE_RIGHT;
    menu.pItems = items + 10;
    PrintMenu(&menu, 0, 20);
    PrintMenu(&menu, 0, 80);
    return 0;
  });
  const std::string cells =
      "\n"
      " e) Exit Help" +
      std::string(12, ' ') + " c) Contents" + std::string(13, ' ') + " b) Back" +
      std::string(17, ' ') +
      "\n"
      " 2) A label of thirty ch \n"
      " 4) Last" +
      std::string(17, ' ') + "\n";
  EXPECT_EQ(s.out, "<CLEAR>\f\n" + std::string(30, ' ') + title +
                       "\n\nPage text \n 1) Link one \n" + cells + "25_510<CLEAR>\f\n" +
                       std::string(60, ' ') + title + "\n\n25_510<CLEAR>\f\n" + title +
                       "\n\n25_510");
}

}  // namespace

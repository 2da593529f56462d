/* Picker sessions in a forked child (standard input a script, the screen size from COLUMNS
 * and LINES). Each page Refresh writes is shown as its rows, trailing blanks dropped, and
 * a cursor move as "[row;column]", so that whole pages are compared. */
#include <stdlib.h>

#include <string>
#include <tuple>

#include "Dbm.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "TextMenu_session_test.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

std::string Render(const std::string &out, int cols, int rows) {
  std::string text;
  for (size_t i = 0; i < out.size();) {
    if (out.compare(i, 6, "\033[1;1H") == 0 && i + 6 + cols * rows - 1 <= out.size()) {
      for (int r = 0; r < rows; ++r) {
        std::string row = out.substr(i + 6 + r * cols, r + 1 < rows ? cols : cols - 1);
        text += "\n" + row.erase(row.find_last_not_of(' ') + 1);
      }
      i += 6 + cols * rows - 1;
    } else if (out[i] == '\033') {
      const size_t end = out.find('H', i);
      text += "\n[" + out.substr(i + 2, end - i - 2) + "]";
      i = end + 1;
    } else {
      text += out[i++];
    }
  }
  return text;
}

void *Changed(TextMenu *, TextMenuItem *item) {
  printf("\n<changed %d from %d>", static_cast<int>(item->Value), static_cast<int>(item->Previous));
  return nullptr;
}

class PickerTest : public MenuSessionTest {
 protected:
  void SetUp() override {
    MenuSessionTest::SetUp();
    my_name = const_cast<char *>("tm_picker_test");
    DbT *db = DbTOpenFile((dir_ + "/db/en_US/CoreString.vdb").c_str(), DBT_DEFER);
    const char *texts[] = {"s) Save",   "1) Cancel",      "Sel: %s",     "Sel: %s...",
                           "Numbers: ", "\nToo small.\n", "Have %ix%i,", " need %ix%i.\n"};
    for (int i = 0; i < 8; ++i)
      DbmTPutRecord(db, ("25_" + std::to_string(201 + i)).c_str(), texts[i],
                    static_cast<int>(strlen(texts[i])) + 1);
    EXPECT_EQ(DbmTArchiveDb(db), 1);
    DbTClose(db);
  }
  /* One item of kind on choices, with Value value, in a menu that ends with "~x Quit". */
  void Menu(uint32_t kind, const std::string &list, intptr_t value) {
    choices_ = list;
    items_ = {Item("Queue", kind), Item("~x Quit", TM_KIND_LEAVE), Item(nullptr, 0)};
    items_[0].pChoices = &choices_[0];
    items_[0].Callback = Changed;
    menu_ = {"Main", 0, nullptr, nullptr, nullptr, nullptr, items_.data(), 0};
    value_ = value;
  }
  /* body runs in the child once the menu is prepared and the catalogue open. */
  std::string Pick(int cols, int rows, const std::string &input, std::function<void()> body) {
    setenv("COLUMNS", std::to_string(cols).c_str(), 1);
    setenv("LINES", std::to_string(rows).c_str(), 1);
    Session s = Run(input, [&] {
      pDrvCoreDB = NlsOpenDB("CoreString", 0);
      InitMenu(&menu_, 0);
      items_[0].Value = value_;
      body();
      printf("\n<value %d>", static_cast<int>(items_[0].Value));
      DbTClose(pDrvCoreDB);
      return 0;
    });
    err_ = s.err;
    std::string text = Render(s.out, cols, rows);
    for (size_t at; (at = text.find("<CLEAR>")) != std::string::npos;) /* the menu's screens */
      text.replace(at, text.find("25_510", at) + 6 - at, "<menu>");
    return text;
  }
  std::string choices_;
  std::vector<TextMenuItem> items_;
  TextMenu menu_;
  intptr_t value_ = 0;
  std::string err_;
};

/* Replaces the first from in text by to. */
std::string Sub(std::string text, const std::string &from, const std::string &to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST_F(PickerTest, OnePagePickOne) {
  /* "7" chooses and shows the page again; the cancel label starts with a digit, so its key
   * is "c", and "S" saves. */
  Menu(TM_KIND_PICK_ONE, "c1,c2,c3,c4,c5,c6,c7,c8,c9,c10", 2);
  const std::string page = R"(
                 Queue

     1) c1              7) c7
     2) c2              8) c8
 ->  3) c3              9) c9
     4) c4             10) c10
     5) c5
     6) c6

s) Save             1) Cancel
Sel: c3
Numbers:
[12;10])";
  const std::string page7 =
      Sub(Sub(Sub(page, " ->  3", "     3"), "          7)", "      ->  7)"), "c3\nN", "c7\nN");
  EXPECT_EQ(Pick(40, 12, "7\nS\n", [&] { ProcessStateValue(&menu_, 0, nullptr); }),
            page + "\n<changed 6 from 2>" + page7 + "\n<value 6>");
}
TEST_F(PickerTest, SeveralPagesPickOne) {
  /* Return pages on: the last page shows the choices left and the next goes back to the
   * first; the selection line covers the whole list; end of input cancels. */
  Menu(TM_KIND_PICK_ONE, "ab,cd,ef,gh,ij,kl,mn", 0);
  const std::string frame = "\n\ns) Save        1) Cancel\nSel: ";
  const std::string page1 =
      "\n            Queue\n\n     1) ab     3) ef     5) ij\n"
      "     2) cd     4) gh     6) kl" +
      frame;
  const std::string page2 = "\n            Queue\n\n     7) mn\n" + frame;
  const std::string end = "\nNumbers:\n[8;10]";
  EXPECT_EQ(Pick(30, 8, "\n7\n\n", [&] { ProcessStateValue(&menu_, 0, nullptr); }),
            Sub(page1, "     1", " ->  1") + "ab" + end + page2 + "ab" + end +
                "\n<changed 6 from 0>" + Sub(page2, "     7", " ->  7") + "mn" + end + page1 +
                "mn" + end + "\n<changed 0 from 6>\n<value 0>");
}

TEST_F(PickerTest, PickManyFromTheMenu) {
  /* "1 2,3" opens the picker with "2,3" as its first input: choice 3 (a leading blank) has
   * no number and cannot be chosen. "1" switches A off, "99" changes nothing, "c" puts the
   * mask back. */
  Menu(TM_KIND_PICK_MANY, "_A,_B, C,_D", 1);
  const std::string page =
      "\n            Queue\n\n ->  1) A              C\n     2) B           4) D\n\n"
      "s) Save        1) Cancel\nSel: A\nNumbers:\n[8;10]";
  const std::string both = Sub(Sub(page, "     2", " ->  2"), "A\nN", "A B\nN");
  const std::string b = Sub(Sub(both, " ->  1", "     1"), "A B\nN", "B\nN");
  EXPECT_EQ(Pick(30, 8, "1 2,3\n1\n99\nc\nx\n", [&] { RunMenu(&menu_, nullptr, 1); }),
            "<menu>" + page + "\n<changed 3 from 1>" + both + "\n<changed 2 from 3>" + b + b +
                "\n<changed 1 from 2><menu>\n<value 1>");
}

TEST_F(PickerTest, TerminalsAndListsOfEverySize) {
  /* Too small: the three messages, the whole line read, nothing drawn. */
  const std::string wide = std::string(40, 'w') + ",b";
  for (auto c : {std::make_tuple(20, 5, "a,b", "Have 20x5, need 20x7."),
                 std::make_tuple(30, 8, wide.c_str(), "Have 30x8, need 40x7.")}) {
    Menu(TM_KIND_PICK_ONE, std::get<2>(c), 0);
    EXPECT_EQ(Pick(std::get<0>(c), std::get<1>(c), "x\nnext\n",
                   [&] {
                     int shown = PrintPickOneManyScreen(&items_[0], nullptr, 0);
                     char line[16];
                     printf("=%d|%s", shown, Gets(line, sizeof line));
                   }),
              "\nToo small.\n" + std::string(std::get<3>(c)) + "\n=-1|next\n<value 0>");
  }
  /* No choices: empty pages until the end of input. */
  Menu(TM_KIND_PICK_ONE, "", 0);
  std::string out = Pick(30, 8, "1\n\n", [&] { ProcessStateValue(&menu_, 0, nullptr); });
  const std::string eof = "Numbers:\n[8;10]\n<changed 0 from 0>\n<value 0>";
  EXPECT_EQ(out.substr(out.size() - eof.size()), eof);
  /* 10,000 choices on 400 x 200: two pages that cover the list, the numbers widened. */
  std::string list;
  for (int i = 1; i <= 10000; ++i) list += "c" + std::to_string(i) + ",";
  Menu(TM_KIND_PICK_ONE, list, 0);
  out = Pick(400, 200, "s\n", [&] {
    uint32_t set[10000 / 32 + 1];
    for (int start = 0, shown = 1; start < 10000 && shown > 0; start += shown)
      fprintf(stderr, "<%d>", shown = PrintPickOneManyScreen(&items_[0], set, start));
    fprintf(stderr, "<%d>", PrintPickOneManyScreen(&items_[0], set, 10001));
    ProcessStateValue(&menu_, 0, "9999");
  });
  EXPECT_EQ(err_, "<5238><4762><-1>");
  EXPECT_NE(out.find(" 10000) c10000\n"), std::string::npos);
  const std::string end = "\nSel: c9999\nNumbers:\n[200;10]\n<value 9998>";
  EXPECT_EQ(out.substr(out.size() - end.size()), end);
}

TEST_F(PickerTest, ScreenStaysInsideItsBuffer) {
  setenv("COLUMNS", "10", 1);
  setenv("LINES", "6", 1);
  Session s = Run("x\nnext\n", [] {
    TextScreen sc{};
    GetTermInfo(&sc);
    FillArea(&sc, -2, 1, 5, 10, '#');                                 /* cut on every side */
    printf("%d ", WriteString(SetPosition(&sc, 8, 1), "ab\ncd"));     /* on into row 2 */
    printf("%d ", WriteString(SetPosition(&sc, 7, 6), "%d", 123456)); /* cut at the end */
    printf("%d", WriteString(SetPosition(&sc, 11, 9), "Z"));          /* row 1, column 0 */
    Refresh(&sc);
    printf("|%.20s|", NumberScreen(&sc)->pData);
    SetOvlInfo(&sc, 1, 2, 4, 1);
    Overlay(&sc, "hi there", 1);
    char line[8];
    printf("|%s", Gets(line, sizeof line));
    setenv("COLUMNS", "5000", 1); /* sizes out of range: the default */
    setenv("LINES", "-3", 1);
    GetTermInfo(&sc);
    printf("|%dx%d", sc.Cols, sc.Rows);
    return 0;
  });
  EXPECT_EQ(s.out,
            "5 3 1\033[1;1HZ       ab\n###       ###       ###       ###    12"
            "|01234567890123456789|\0337\033[2;2H********\033[3;2H* hi t *\033[4;2H* Press*"
            "\033[5;2H********\0338|next|80x24");
}

}  // namespace

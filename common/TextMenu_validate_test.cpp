/* Tests of entry validation: one table of patterns against entries with the code and the
 * message shown, the bounds helpers, and the dialogues that wait for Return. Without a
 * catalogue the catalogue texts show as their keys; the engine's own texts are exact. */
#include <string.h>

#include <string>

#include "NlsUtils.h"
#include "TextMenu.h"
#include "TextMenu_internal.h"
#include "TextMenu_session_test.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

TEST(ValidateEntryTest, PatternsAgainstEntries) {
  my_name = const_cast<char *>("tm_validate_test");
  const std::string name255 = "/" + std::string(255, 'a');
  const struct {
    const char *pattern;
    std::string text;
    int code;
    std::string message;
  } cases[] = {
      {TM_SETTINGS_PATTERN, "/tmp/my-set_1", 0, ""},
      {TM_SETTINGS_PATTERN, "tmp", 3, ""},
      {TM_SETTINGS_PATTERN, "/a.b", 3, "25_1007"},
      {TM_SETTINGS_PATTERN, name255, 2, "30_42"},
      {TM_SETTINGS_PATTERN, name255.substr(0, 255), 0, ""},
      {TM_SETTINGS_PATTERN, std::string(10000, '/'), 2, "30_42"},
      {"d(1,10)", "7", 0, ""},
      {"d(1,10)", "12", 1, "25_1003"},
      {"d(1,10)", "1a", 3, "Invalid digit:  a\n"},
      {"d(1,10)", "", 1, "25_1003"},
      {"d(0,0)", "123", 0, ""},
      {"d(0,0)", "99999999999", 1, "25_1003"},
      {"d(1,5)-3", "3", 3, "Invalid digit:  3\n"},
      {"f(0,1)", "0.5.1", 1, "25_1020"},
      {"f(0,1)", "1.5", 1, "This number must be between 0.000000 to 1.000000."},
      {"f(0.5,1)", ".75", 0, ""},
      {"f(0,1)", "-1", 3, "25_1006"},
      {"A(2,2)|d(1,9)", "ab", 0, ""},
      {"A(2,2)|d(1,9)", "7", 0, ""},
      {"A(2,2)|d(1,9)", "abc", 3, "Invalid digit:  a\n"},
      {"!(root)", "root", 4, "25_1009"},
      {"!(root)", "admin", 0, ""},
      {"A(1,8)&!(root)", "root", 4, "25_1009"},
      {"!(root)&a(1,8)", "123", 0, ""},
      {"x(0,255)", "ff", 0, ""},
      {"x(0,255)", "1ff", 1, "25_1004"},
      {"x(0,255)", "zz", 1, "25_1004"},
      {"D(1,100)", "50", 0, ""},
      {"D(1,100)", "5a", 3, "Invalid character 'a'\nThis text may contain \"0123456789.\""},
      {"D(1,100)", "500", 1, "25_1024"},
      {"#d(1,9)", "#5", 3, "Invalid digit:  #\n"},
      {"#-", "#x", 3, "25_1005"},
      {"#-", "x-", 3, ""},
      {"L(2,3)", "a", 2, "30_42"},
      {"t(2,2)", "abc", 2, "30_44"},
      {"p(1,5)", "a b.", 0, ""},
      {"a(1,5)", "a1", 3, "25_1008"},
      {"A(1,9)+-+_", "my_q-1", 0, ""},
      {"A(1,9)+", "a+", 3, "25_1007"},
      {nullptr, "anything", 0, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.pattern != nullptr ? c.pattern : "(null)") + " / " +
                 c.text.substr(0, 40));
    textmenu::EntryCheck check = textmenu::CheckEntry(c.text.c_str(), c.pattern);
    EXPECT_EQ(check.code, c.code);
    EXPECT_EQ(check.message, c.message);
  }
}

TEST(ValidateEntryTest, BoundsAndFixedChecks) {
  const struct {
    const char *bounds;
    int min, max;
  } bounds[] = {{"(1,255)", 1, 255},
                {"3,7", 3, 7},
                {"(,9)", 0, 9},
                {nullptr, 0, 0},
                {"(99999999999,1)", 2147483647, 1}};
  for (const auto &b : bounds) {
    int min = -1;
    EXPECT_EQ(getMinMax(b.bounds, &min), b.max);
    EXPECT_EQ(min, b.min);
  }
  EXPECT_EQ(ValidateEntryLen("abcd", nullptr), nullptr);
  EXPECT_EQ(ValidateEntryLen(nullptr, nullptr), NlsBuf);
  EXPECT_STREQ(ValidateEntryLen("abcde", "(4,4)"), "30_44");
  EXPECT_STREQ(ValidateEntryLen("", "(1,255)"), "30_42");
  EXPECT_EQ(ValidateEntryDigit("0123"), 0);
  EXPECT_EQ(ValidateEntryDigit("01x3"), 'x');
  EXPECT_EQ(ValidateEntryDigit(nullptr), 0);
}

class DialogueTest : public MenuSessionTest {};

TEST_F(DialogueTest, MessagesWaitForOneLineAndEndOfInputReturns) {
  TextMenuItem items[3] = {};
  items[0].pLabel = "Name";
  items[0].Kind = TM_KIND_NAME;
  items[1].pLabel = "Hidden name";
  items[1].Kind = TM_KIND_NAME;
  items[1].State = TM_STATE_HIDDEN;
  TextMenu menu = {"M", 0, nullptr, nullptr, nullptr, nullptr, items, 0};
  Session s = Run("\n\nx\n\nnext\n", [&menu] {
    printf("[%d]", ValidateEntry("12", "d(1,10)"));
    printf("[%d]", ValidateEntry("tmp", TM_SETTINGS_PATTERN));
    printf("[%d]", TestName("my queue"));
    printf("[%d]", TestName("my_queue-1"));
    printf("[%d]", TestNames(&menu));
    InitMenu(&menu, 0);
    strcpy(reinterpret_cast<char *>(menu.pItems[0].Value), "q");
    printf("[%d]", TestNames(&menu)); /* the hidden item after it is not looked at */
    printf("[%d]", ValidateEntryTty("12a4", "(4,4)"));
    printf("[%s]", Gets(LineBuf, LINEBUF_SIZE));
    PostMsg("%s", "at end");
    printf("[%d]", ValidateEntryTty("123", nullptr));
    return 0;
  });
  EXPECT_EQ(s.out,
            "25_100325_1001[1][3]25_100225_1000[0][1]25_1011[0][1]Invalid digit:  a\n"
            "25_1001[3][next]at end25_100130_4425_1001[2]");
  EXPECT_EQ(s.status, 0);
}

}  // namespace

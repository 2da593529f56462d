/* Tests of item states: state formats, conditions and sub-menu selection, and the choice
 * markers of pick-one lists. */
#include <string.h>

#include <string>
#include <vector>

#include "TextMenu.h"
#include "TextMenu_session_test.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

/* Items 0 and 1 pick-one, 2-6 integers, 7 a sub-menu item. */
class StatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    my_name = const_cast<char *>("tm_states_test");
    items_ = {
        Item("Mode", TM_KIND_PICK_ONE), Item("Other", TM_KIND_PICK_ONE), Item("I2", TM_KIND_INT),
        Item("I3", TM_KIND_INT),        Item("I4", TM_KIND_INT),         Item("I5", TM_KIND_INT),
        Item("I6", TM_KIND_INT),        Item("Sub", TM_KIND_SUBMENU),    Item(nullptr, 0)};
    items_[0].pChoices = modes_;
    items_[1].pChoices = others_;
    menu_ = {"States", 0, nullptr, nullptr, nullptr, nullptr, items_.data(), 0};
    InitMenu(&menu_, 0);
  }

  std::string States() {
    std::string s;
    for (int i = 2; i <= 6; ++i) s += static_cast<char>('0' + items_[i].State);
    return s;
  }

  char modes_[16] = "_a,_b,_c";
  char others_[16] = "x,y";
  std::vector<TextMenuItem> items_;
  TextMenu menu_{};
};

TEST_F(StatesTest, StateFormatsSwitchTheirTargets) {
  struct Case {
    const char *format;
    intptr_t value;
    const char *states; /* of items 2-6 after the pass */
  };
  const Case cases[] = {
      {"N1{3,4}H2{5}", 1, "01100"}, {"N1{3,4}H2{5}", 2, "00020"}, {"N1{3} H2{5}", 2, "00020"},
      {"N1{3}H2{5}", 1, "01000"},   {"N1;2{3}", 2, "01000"},      {"N*{99,-1,x,3}", 0, "01000"},
      {"N1{}H*{5}", 0, "00020"},    {"H1{2 N*{6}", 1, "20001"},   {"N12{2}N2{2}", 1, "00000"},
      {"Q1{2}N*{3}", 1, "01000"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.format) + " with " + std::to_string(c.value));
    for (int i = 2; i <= 6; ++i) items_[i].State = TM_STATE_ACTIVE;
    items_[0].pFormat = c.format;
    items_[0].Value = c.value;
    EXPECT_EQ(ProcessStateFormat(&menu_, 0), &menu_);
    EXPECT_EQ(States(), c.states);
  }
  items_[0].State = TM_STATE_INACTIVE; /* an inactive item applies nothing */
  items_[0].pFormat = "N*{2}";
  ProcessStateFormat(&menu_, 0);
  EXPECT_EQ(items_[2].State, 0u);
  EXPECT_EQ(ProcessStateFormat(&menu_, 42), &menu_);
}

TEST_F(StatesTest, SavedValueIsKeptUntilTheTriggerNoLongerMatches) {
  items_[0].pFormat = "S0{6.7}";
  items_[6].Value = 5;
  const struct {
    intptr_t mode, value;
    int32_t saved;
  } passes[] = {{0, 7, 5}, {0, 7, 5}, {1, 5, -1}, {1, 5, -1}};
  for (const auto &pass : passes) {
    items_[0].Value = pass.mode;
    ProcessStateFormat(&menu_, 0);
    EXPECT_EQ(items_[6].Value, pass.value);
    EXPECT_EQ(items_[6].Saved, pass.saved);
  }
  items_[0].pFormat = "S*{7.3}"; /* a sub-menu item holds a pointer: left alone */
  ProcessStateFormat(&menu_, 0);
  EXPECT_EQ(items_[7].Value, 0);
}

int calls[2];
void *Count0(TextMenu *, TextMenuItem *) { return reinterpret_cast<void *>(++calls[0]); }
void *Count1(TextMenu *, TextMenuItem *) { return reinterpret_cast<void *>(++calls[1]); }

TEST_F(StatesTest, PFormatsEndOnACycle) {
  items_[0].pFormat = "P*{1}";
  items_[1].pFormat = "P*{0}N*{3}";
  items_[0].Callback = Count0;
  items_[1].Callback = Count1;
  ProcessStateFormat(&menu_, 0);
  EXPECT_EQ(calls[0], 0);
  EXPECT_EQ(calls[1], 1);
  EXPECT_EQ(items_[3].State, 1u);
}

TEST_F(StatesTest, ConditionsAndSubMenuSelection) {
  items_[2].Value = 1;
  items_[3].Value = 3;
  items_[3].State = TM_STATE_INACTIVE;
  const struct {
    const char *condition;
    int holds;
  } cases[] = {
      {"2.1", 1},  {"2.2", 0},     {"3.3", 1},         {"3.3A", 1},          {"2.1A", 0},
      {"!2.2", 1}, {"2.1&3.3", 1}, {"2.2&3.3", 0},     {"2.2|3.3", 1},       {"!(2.1&2.2)", 1},
      {"-5.1", 1}, {"+1.0", 0},    {"2.1|4.1&4.5", 1}, {"(2.1", 0},          {"2.1)", 0},
      {"", 0},     {"x", 0},       {"2.", 0},          {"99999999999.1", 0}, {"4.-0", 1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(TestStateCondition(&menu_, c.condition, 7), c.holds) << c.condition;
  EXPECT_EQ(TestStateCondition(&menu_, (std::string(5000, '(') + "2.1").c_str(), 7), 0);
  EXPECT_EQ(TestStateCondition(&menu_, (std::string(5000, '!') + "2.1").c_str(), 7), 0);
  EXPECT_EQ(TestState(&menu_, "+1.3", 2), 2);
  EXPECT_EQ(TestState(&menu_, "2.1", 0), 1);
  EXPECT_EQ(TestState(&menu_, "-3.1", 2), 0);

  TextMenu a{}, b{};
  TextMenu *subs[] = {&a, &b};
  items_[7].pFormat = "4.1 4.2";
  items_[7].Value = reinterpret_cast<intptr_t>(subs);
  const struct {
    intptr_t value;
    uint32_t state;
    TextMenu *selected;
  } selections[] = {{1, 0, &a}, {2, 0, &b}, {0, 0, nullptr}, {1, 1, nullptr}};
  for (const auto &s : selections) {
    items_[4].Value = s.value;
    items_[7].State = s.state;
    EXPECT_EQ(ValidateMenu(&menu_, 7), s.selected);
  }
  items_[7].State = TM_STATE_ACTIVE;
  items_[7].pFormat = nullptr;
  items_[7].Value = reinterpret_cast<intptr_t>(&a);
  EXPECT_EQ(ValidateMenu(&menu_, 7), &a);
  EXPECT_EQ(ValidateMenu(&menu_, 2), nullptr);
  EXPECT_EQ(ValidateMenu(&menu_, 8), nullptr);
  EXPECT_EQ(TestFormatState("*", 5), 1);
  EXPECT_EQ(TestFormatState("12", 1), 0);
  EXPECT_EQ(TestFormatState("4294967297", 1), 0);
  EXPECT_EQ(TestFormatState(nullptr, 0), 0);
}

TEST_F(StatesTest, HiddenChoicesMoveTheSelection) {
  TextMenuItem &mode = items_[0];
  EXPECT_STREQ(UpdateStateSelection(&mode)->pChoiceText, "_a");
  HideStateSelection(&mode, 0);
  EXPECT_STREQ(modes_, " a,_b,_c");
  EXPECT_EQ(mode.Value, 1);
  EXPECT_EQ(mode.Previous, 0);
  EXPECT_STREQ(mode.pChoiceText, "_b");
  HideStateSelection(&mode, 7);
  HideStateSelection(&mode, -1);
  EXPECT_STREQ(modes_, " a,_b,_c");
  HideStateSelection(&mode, 1);
  HideStateSelection(&mode, 2);
  EXPECT_STREQ(modes_, " a, b, c");
  EXPECT_EQ(mode.Value, 2); /* all unavailable: one round, ending where it started */
  EXPECT_STREQ(mode.pChoiceText, " c");
  ShowStateSelection(&mode, 2);
  EXPECT_STREQ(modes_, " a, b,_c");
  mode.Value = 9; /* no such choice: nothing to look up, never the first */
  UpdateStateSelection(&mode);
  EXPECT_EQ(mode.pChoiceText, nullptr);
  EXPECT_EQ(UpdateStateSelection(nullptr), nullptr);
}

}  // namespace

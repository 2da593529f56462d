/* Scripted sessions of the run loop: selections with options and prompts, invalid entries,
 * the apply, return and exit dialogues, storing settings, end of input and over-long
 * lines. Each screen ("<CLEAR>" up to the prompt line's key) is shown as "#" so that the
 * dialogue between the screens is compared byte for byte. */
#include <string>
#include <vector>

#include "Dbm.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "TextMenu_session_test.h"
#include "gtest/gtest.h"
#include "utils.h"

namespace {

void *PortChanged(TextMenu *, TextMenuItem *) {
  printf("[port cb]");
  return nullptr;
}
void *ColourChanged(TextMenu *, TextMenuItem *item) {
  printf("[colour=%s]", item->pChoiceText);
  return nullptr;
}
void *Applied(TextMenu *) {
  printf("[applied]");
  return nullptr;
}
void *SubEntry(TextMenu *) {
  printf("[sub entry]");
  return nullptr;
}

class RunTest : public MenuSessionTest {
 protected:
  void SetUp() override {
    MenuSessionTest::SetUp();
    my_name = const_cast<char *>("tm_run_test");
    items_ = {Item("Name", TM_KIND_NAME),
              Item("Port", TM_KIND_INT, 515),
              Item("Colour", TM_KIND_PICK_ONE),
              Item("Options", TM_KIND_SUBMENU),
              Item("Grey", TM_KIND_INT),
              Item("~x Quit", TM_KIND_LEAVE),
              Item(nullptr, 0)};
    items_[0].pPrompt = "Queue name";
    items_[1].pPrompt = "Port";
    items_[1].pFormat = "d(1,65535)";
    items_[1].Callback = PortChanged;
    items_[2].pChoices = colours_;
    items_[2].pFormat = "N1{4}";
    items_[2].Callback = ColourChanged;
    items_[3].Value = reinterpret_cast<intptr_t>(&sub_);
    sub_items_ = {Item("Note", TM_KIND_TEXT), Item(nullptr, 0)};
    sub_ = {"Options", 0, nullptr, nullptr, &menu_, SubEntry, sub_items_.data(), 0};
    menu_ = {"Main",  0,       "Apply the settings", Applied,
             nullptr, nullptr, items_.data(),        TM_FLAG_STORE_NAMED};
  }

  /* Runs the menu on input; the body then prints the port and colour values. */
  Session Menu(const std::string &input) {
    return Run(input, [this] {
      RunMenu(&menu_, nullptr, 1);
      printf("[port=%d colour=%d]", static_cast<int>(items_[1].Value),
             static_cast<int>(items_[2].Value));
      return 0;
    });
  }

  static std::string Screens(std::string out) {
    for (size_t at; (at = out.find("<CLEAR>")) != std::string::npos;) {
      size_t end = out.find("25_510", at);
      out.replace(at, end == std::string::npos ? end : end + 6 - at, "#");
    }
    return out;
  }

  char colours_[32] = "_Red,_Green, Blue";
  std::vector<TextMenuItem> items_, sub_items_;
  TextMenu menu_{}, sub_{};
};

TEST_F(RunTest, SelectionsEntriesAndTheLeaveDialogues) {
  Session s = Menu("2 80\r\n2 99999\n\n3 2\n5\n3\n0\n2\n7\n\nx\nn\nn\nX\n");
  EXPECT_EQ(Screens(s.out),
            "#[port cb]#25_100325_1001#[colour=_Green]##[colour=_Red]##Port: [port cb]#"
            "Apply the settings? [y/n] Apply the settings? [y/n] 25_1018? [y/n] #"
            "[port=7 colour=0]");
  EXPECT_EQ(s.status, 0);
}

TEST_F(RunTest, ApplyNeedsEveryNameAndSubMenusReturn) {
  Session s = Menu("2 80\n\ny\n\n1 lp0\n4\n\nx\nn\n\ny\n\ny\n");
  EXPECT_EQ(Screens(s.out),
            "#[port cb]#Apply the settings? [y/n] 25_1011##[sub entry]#25_1017? [y/n] "
            "25_1017? [y/n] [sub entry]#25_1017? [y/n] #Apply the settings? [y/n] "
            "[applied][port=80 colour=0]");
}

TEST_F(RunTest, EndOfInputEndsTheProgramWithoutApplying) {
  const char *inputs[] = {"", "2 80\n\n", "2\n"};
  const char *dialogues[] = {"#", "#[port cb]#Apply the settings? [y/n] 25_1018? [y/n] #",
                             "#Port: #"};
  for (int i = 0; i < 3; ++i) {
    Session s = Menu(inputs[i]);
    EXPECT_EQ(Screens(s.out), dialogues[i]);
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(s.err.rfind("\ntm_run_test: 25_1016 : ", 0), 0u) << s.err;
  }
}

TEST_F(RunTest, OverLongLinesAreRefusedAndDropped) {
  Session s = Menu("2 " + std::string(5000, '7') + "\n\n1 " + std::string(300, 'a') + "\n\n1 " +
                   std::string(255, 'a') + "\nx\n");
  EXPECT_EQ(Screens(s.out), "#25_100325_1001#30_4225_1001##[port=515 colour=0]");
}

TEST_F(RunTest, StoringSettings) {
  const std::string set = dir_ + "/set";
  Session s = Menu("2 80\ns\n" + set + "\ns\ntmp\ns\n/dev/full\n\nx\n");
  EXPECT_EQ(Screens(s.out),
            "#[port cb]#Enter the settings file name: #Enter the settings file name: #"
            "Enter the settings file name: 25_1001#[port=80 colour=0]");
  EXPECT_EQ(ReadFile("set"), "0[] 11 0\n1[80] 13 0\n2[0] 9 0\n4[0] 13 0\n3{\n0[] 12 0\n}\n");
  EXPECT_EQ(s.err, "ERROR: can't write file, /dev/full: No space left on device\n");

  /* ".settings" and the end of the program, or a report and the menu when it fails. */
  menu_.Flags = TM_FLAG_STORE_EXIT | TM_FLAG_NO_LEAVE;
  auto inDir = [this](const std::string &sub) {
    return Run("\n2 81\nS\n", [this, sub] {
      if (mkdir(sub.c_str(), 0755) != 0 || chdir(sub.c_str()) != 0) return 99;
      if (sub.find("bad") != std::string::npos) mkdir(".settings", 0755);
      RunMenu(&menu_, nullptr, 1);
      return 0;
    });
  };
  s = inDir(dir_ + "/good");
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(Screens(s.out), "##[port cb]#");
  EXPECT_EQ(ReadFile("good/.settings"),
            "0[] 11 0\n1[81] 13 0\n2[0] 9 0\n4[0] 13 0\n3{\n0[] 12 0\n}\n");
  s = inDir(dir_ + "/bad");
  EXPECT_EQ(s.status, 1);
  EXPECT_EQ(Screens(s.out), "##[port cb]#25_1001#");
  EXPECT_EQ(s.err.rfind("ERROR: can't open file, .settings\n\ntm_run_test: 25_1016", 0), 0u)
      << s.err;
}

#ifdef BUILD_DIR
/* The same menu with the English catalogue built beside the programs. */
TEST_F(RunTest, EnglishScreenAndDialogues) {
  Session s = Run("2 99999\n\n\nn\nx\n", [this] {
    pToolPath = const_cast<char *>(BUILD_DIR);
    pDrvCoreDB = NlsOpenDB("CoreString", 0);
    RunMenu(&menu_, nullptr, 1);
    DbTClose(static_cast<DbT *>(pDrvCoreDB));
    return 0;
  });
  const std::string screen =
      "<CLEAR>\f\nMain:\n\n"
      " 1) Name ... []\n\n"
      " 2) Port ... [515]\n\n"
      " 3) Colour . [1. Red]\n\n"
      " 4) Options \n\n"
      " 5) Grey ... [0]\n\n"
      " x) Quit \n\n"
      "\nEnter a selection or s for store settings in a file or <Return> to exit: ";
  EXPECT_EQ(s.out, screen + "This number must be between 1 to 65535.\nPress <Return> to continue " +
                       screen + "\nDo you want to exit tm_run_test? [y/n] " + screen);
  EXPECT_EQ(s.err, "");
}
#endif

}  // namespace

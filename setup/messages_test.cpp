/* Tests of the installer's message tables and of the language pick from LANG. */
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup.h"

namespace {

const char *const *const kTables[] = {NLS_ENGLISH, NLS_SPANISH, NLS_ITALIAN,
                                      NLS_FRENCH,  NLS_GERMAN,  NLS_PORTUGUESE};
const char *const kTableNames[] = {"English", "Spanish", "Italian",
                                   "French",  "German",  "Portuguese"};
constexpr int kTableCount = 6;

/* Exit codes of the pick children: 10 + position in kTables. */
constexpr int kEnglish = 10, kSpanish = 11, kItalian = 12, kFrench = 13, kGerman = 14,
              kPortuguese = 15;
constexpr int kNoTable = 1;

/* The printf conversions of fmt in order, blank-separated, each with its flags, width,
 * precision and length ("%-5s %%"); a '%' without a complete conversion gives "%?". */
std::string Conversions(const char *fmt) {
  std::string out;
  for (const char *p = fmt; *p != '\0'; ++p) {
    if (*p != '%') continue;
    const char *start = p++;
    while (*p != '\0' && strchr("-+ #0'", *p) != nullptr) ++p;
    while ((*p >= '0' && *p <= '9') || *p == '*') ++p;
    if (*p == '.') {
      ++p;
      while ((*p >= '0' && *p <= '9') || *p == '*') ++p;
    }
    while (*p != '\0' && strchr("hlLqjzt", *p) != nullptr) ++p;
    if (!out.empty()) out += ' ';
    if (*p == '\0' || strchr("diouxXeEfFgGaAcspn%", *p) == nullptr) {
      out += "%?";
      if (*p == '\0') break;
      continue;
    }
    out.append(start, p + 1);
  }
  return out;
}

/* The run of blanks and newlines at the start (or end) of text. */
std::string LeadingSpace(const std::string &text) {
  return text.substr(0, text.find_first_not_of(" \n"));
}
std::string TrailingSpace(const std::string &text) {
  size_t last = text.find_last_not_of(" \n");
  return last == std::string::npos ? text : text.substr(last + 1);
}

std::vector<std::string> SplitComma(const std::string &text) {
  std::vector<std::string> items;
  size_t from = 0;
  for (;;) {
    size_t comma = text.find(',', from);
    items.push_back(text.substr(from, comma - from));
    if (comma == std::string::npos) return items;
    from = comma + 1;
  }
}

/* A byte that may appear in a message: tab, newline, printable ASCII, or a Latin-1
 * letter or the punctuation the five languages use. */
bool IsMessageByte(unsigned char c) {
  if (c == '\t' || c == '\n' || (c >= 0x20 && c <= 0x7e)) return true;
  switch (c) {
    case 0xa1: /* inverted exclamation mark */
    case 0xaa: /* feminine ordinal */
    case 0xab: /* left guillemet */
    case 0xba: /* masculine ordinal */
    case 0xbb: /* right guillemet */
    case 0xbf: /* inverted question mark */
      return true;
    case 0xd7: /* multiplication sign */
    case 0xf7: /* division sign */
      return false;
    default:
      return c >= 0xc0;
  }
}

/* The exit code naming the table nlsSetupStrCvt answers from, kNoTable when it mixes. */
int ChosenTable() {
  for (int t = 0; t < kTableCount; ++t) {
    bool all = true;
    for (int i = 0; i < SETUP_MESSAGES; ++i) all = all && nlsSetupStrCvt(i) == kTables[t][i];
    if (all) return 10 + t;
  }
  return kNoTable;
}

/* Child of a pick test: sets LANG (null unsets it), looks a message up and exits with the
 * code of the table chosen. */
[[noreturn]] void PickWith(const char *lang) {
  if (lang == nullptr) {
    unsetenv("LANG");
  } else {
    setenv("LANG", lang, 1);
  }
  exit(ChosenTable());
}

/* English texts, byte for byte (39 is the only one of free wording). */
const struct {
  int index;
  const char *text;
} kEnglishTexts[] = {
    {0, "~e Exit Help"},
    {1, "~c Contents"},
    {2, "~b Back"},
    {3, "ERROR: couldn't open %s"},
    {4,
     "Unable to eject diskette.\nPlease exit out of any other application (filemanager, shell) "
     "that may be using the floppy drive. and press enter\n"},
    {5, "Unable to detect the diskette.\n"},
    {6, "Please insert install diskette %i and press enter"},
    {7, "\nEnter the new installation directory [%s]: "},
    {8, "Do you want to use %s"},
    {9, "Do you want to return to Setup Menu"},
    {10, "This entry must be a full path to the installation directory.\n"},
    {11, "You must specify an installation directory which will be used"},
    {12, "to install the Orvel directory along with its support files and"},
    {13, "directories. This utility will create the install directory"},
    {14, "if it doesn't already exist."},
    {15, "\t\t\"wrong number of arguments to interface program\" \\\n"},
    {16, "\t\t\"consult your system administrator\" \\\n"},
    {17, "to create the installation site. This utility will create the"},
    {18, "install directory if it doesn't already exist."},
    {19, "ERROR: can't locate install diskette 0\n"},
    {20,
     "\nWarning defining another installation directory will invalidate any defined print queues "
     "[%s]\n "},
    {21, "can't open file, %sInstall/disks"},
    {22, "\nCreating diskette %i "},
    {23, "\nPlease insert DOS formatted diskette (%i) and press enter"},
    {24, "can't open file, /floppy/floppy0/disks\n"},
    {25, "Please insert install diskette %i and press enter\n"},
    {26, "can't open file, %s/disks\n"},
    {27, "\nImplementing configuration\n"},
    {28, "stop all"},
    {29, "\nUnable to locate device /dev/%s \n"},
    {30, "Enter the client's name before registering it.\nPress <Return> to continue"},
    {31, "\nStarting Orvel print daemon.\n"},
    {32, "\nStopping Orvel print daemon.\n"},
    {33, "\nRemoving Existing Printers \n"},
    {34, "Enter the name of the printer to remove: "},
    {35, "%s is logged in\nYou must become root to run %s\n"},
    {36, "\nPress <Return> to continue. "},
    {37, "\nEnter the name of the printer to remove: "},
    {38, "%s has been saved. Do want to update it"},
    {40, "_disabled,_enabled"},
    {41, "_No,_Yes"},
    {42, "\nExisting installation directory [%s]\n "},
    {43, "Existing printer list:\n "},
    {44, "Saved printer list:\n"},
    {45, "none,GUI,TTY"},
    {46, "_workstation to printer,_workstation to print server,_print server to printer"},
    {47, "_TCP/IP,_local device"},
    {48, "_default features,_custom feature selection"},
    {49,
     "There isn't enough space in %s to perform the installation activities. The temporary work "
     "area should be at least %e bytes. Restart the installation procedure using a work area that "
     "has enough space. \nie: 1. Use /new_work_area_path in place of /tmp\n    2. Run `setup "
     "/new_work_area_path`\n"},
    {50, "_none,    ,_TTY"},
    {51, "\nUnable to locate ppd files ppd/* \n"},
    {52, "Please insert install diskette %i\n"},
    {53, "Please insert DOS formatted diskette (%i)\n"},
    {54,
     "The following packages must be removed to insure proper installation:\n %s\nDo want to "
     "continue with the upgrade"},
    {55,
     "There isn't enough space in %s to perform the installation activities. The install area "
     "should be at least %e bytes. Restart the installation procedure using an install area that "
     "has enough space. \nie: 1. Use /new_install_path in place of the default location\n    2. "
     "Run 'setup install /new_install_path'\n"},
    {56,
     "There isn't enough space to perform the installation activities. As you are using a working "
     "directory, %s on the same partition as the install directory you have selected, %s this "
     "install requires %e bytes free. Please re-run the install specifing a different location for "
     "a working directory or install directory. Please see the readme if you need help with the "
     "syntax."},
    {57, ""},
    {58, "setup: ERROR"},
    {59, "killed VPrintD %s\n"},
    {60, "failed ts get version"},
    {61,
     "\nERROR: You are trying to load the wrong version of the Telvane Services for Unix Systems "
     "software to this machine.\n"},
    {62,
     "\nIf you currently have %s printer software installed that uses VPrintD\nprint daemon, you "
     "must delete all your %s print queues prior to installing\nthis package.\n\nNOTE: VPrintD is "
     "located in <install directory>/%s/%s\n"},
    {63, "\nDo You want to continue with the installation? [yn] "},
    {64, "Reading diskette %i\n"},
    {65, "Could not determine how much space needed for install, missing isize.\n"},
    {66,
     "\nThe following processes are running.\nThe installer can not continue until these "
     "terminate:\n"},
    {67, "Would you like to:\n"},
    {68, "1.  Wait 30 seconds for these processes to terminate\n"},
    {69, "2.  Quit the installation\n"},
    {70, "\nEnter a selection:  "},
};

TEST(SetupMessageTables, ConversionParserReadsFormats) {
  EXPECT_EQ(Conversions("no conversion"), "");
  EXPECT_EQ(Conversions("a %s b %i c %e"), "%s %i %e");
  EXPECT_EQ(Conversions("%-5s|%08.3e|%%|%ld"), "%-5s %08.3e %% %ld");
  EXPECT_EQ(Conversions("100% sure"), "% s"); /* a blank is a flag */
  EXPECT_EQ(Conversions("100%!"), "%?");
  EXPECT_EQ(Conversions("ends with %"), "%?");
  EXPECT_EQ(Conversions(NLS_ENGLISH[56]), "%s %s %e");
  EXPECT_EQ(Conversions(NLS_ENGLISH[62]), "%s %s %s %s");
}

TEST(SetupMessageTables, EveryTableHas71EntriesWith57Empty) {
  for (int t = 0; t < kTableCount; ++t) {
    SCOPED_TRACE(kTableNames[t]);
    for (int i = 0; i < SETUP_MESSAGES; ++i) {
      ASSERT_NE(kTables[t][i], nullptr) << "entry " << i;
      if (i == 57) {
        EXPECT_STREQ(kTables[t][i], "");
      } else {
        EXPECT_NE(kTables[t][i][0], '\0') << "entry " << i << " is empty";
      }
    }
  }
}

TEST(SetupMessageTables, EnglishTextsAreExact) {
  ASSERT_EQ(sizeof kEnglishTexts / sizeof kEnglishTexts[0], size_t{SETUP_MESSAGES - 1});
  for (const auto &expected : kEnglishTexts) {
    EXPECT_STREQ(NLS_ENGLISH[expected.index], expected.text) << "entry " << expected.index;
  }
  const std::string offsets = NLS_ENGLISH[39];
  EXPECT_NE(offsets.find("ffset files"), std::string::npos);
  EXPECT_NE(offsets.find("first diskette"), std::string::npos);
  EXPECT_EQ(offsets.find('%'), std::string::npos);
}

TEST(SetupMessageTables, ConversionsFollowEnglishInEveryLanguage) {
  for (int t = 0; t < kTableCount; ++t) {
    SCOPED_TRACE(kTableNames[t]);
    for (int i = 0; i < SETUP_MESSAGES; ++i) {
      EXPECT_EQ(Conversions(kTables[t][i]), Conversions(NLS_ENGLISH[i])) << "entry " << i;
      EXPECT_EQ(Conversions(kTables[t][i]).find("%?"), std::string::npos) << "entry " << i;
    }
  }
}

TEST(SetupMessageTables, TranslationsAreTranslated) {
  for (int t = 1; t < kTableCount; ++t) {
    SCOPED_TRACE(kTableNames[t]);
    bool accented = false;
    for (int i = 0; i < SETUP_MESSAGES; ++i) {
      for (const char *p = kTables[t][i]; *p != '\0'; ++p) accented |= (unsigned char)*p >= 0xc0;
      /* 57 is empty everywhere; 58 is "setup: ERROR", the same word in Spanish. */
      if (i == 57 || i == 58) continue;
      EXPECT_STRNE(kTables[t][i], NLS_ENGLISH[i]) << "entry " << i;
    }
    EXPECT_TRUE(accented) << "no accented letter in the whole table";
    EXPECT_EQ(strncmp(kTables[t][58], "setup", 5), 0);
  }
}

TEST(SetupMessageTables, BytesAreLatin1) {
  for (int t = 0; t < kTableCount; ++t) {
    SCOPED_TRACE(kTableNames[t]);
    for (int i = 0; i < SETUP_MESSAGES; ++i) {
      const unsigned char *text = reinterpret_cast<const unsigned char *>(kTables[t][i]);
      for (size_t k = 0; text[k] != '\0'; ++k) {
        EXPECT_TRUE(IsMessageByte(text[k]))
            << "entry " << i << " byte " << k << " is 0x" << std::hex << int{text[k]};
        if (t == 0) {
          EXPECT_LT(text[k], 0x80) << "entry " << i;
        }
        /* A UTF-8 sequence read as Latin-1: the lead byte of an accented letter. */
        EXPECT_FALSE(text[k] == 0xc3 && text[k + 1] >= 0x80 && text[k + 1] <= 0xbf)
            << "entry " << i << " holds UTF-8 at byte " << k;
      }
    }
  }
}

TEST(SetupMessageTables, TranslationsKeepTheLayout) {
  for (int t = 1; t < kTableCount; ++t) {
    SCOPED_TRACE(kTableNames[t]);
    const char *const *table = kTables[t];
    for (int i = 0; i < SETUP_MESSAGES; ++i) {
      const std::string text = table[i], english = NLS_ENGLISH[i];
      EXPECT_EQ(LeadingSpace(text), LeadingSpace(english)) << "entry " << i;
      EXPECT_EQ(TrailingSpace(text), TrailingSpace(english)) << "entry " << i;
      EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
                std::count(english.begin(), english.end(), '\n'))
          << "entry " << i;
    }
    /* Hot-key labels keep their key. */
    for (int i = 0; i <= 2; ++i) EXPECT_EQ(strncmp(table[i], NLS_ENGLISH[i], 3), 0);
    /* Choice lists: as many items, each with or without its leading "_" as in English. */
    for (int i : {40, 41, 45, 46, 47, 48, 50}) {
      std::vector<std::string> items = SplitComma(table[i]), english = SplitComma(NLS_ENGLISH[i]);
      ASSERT_EQ(items.size(), english.size()) << "entry " << i;
      for (size_t k = 0; k < items.size(); ++k) {
        EXPECT_FALSE(items[k].empty()) << "entry " << i;
        EXPECT_EQ(items[k][0] == '_', english[k][0] == '_') << "entry " << i << " item " << k;
      }
    }
    EXPECT_EQ(SplitComma(table[50])[1], "    ");
    EXPECT_EQ(SplitComma(table[45])[1], "GUI");
    EXPECT_EQ(SplitComma(table[47])[0], "_TCP/IP");
    /* Shell continuation lines: a quoted text with nothing the shell expands in it. */
    for (int i : {15, 16}) {
      const std::string line = table[i];
      ASSERT_GT(line.size(), 7u);
      EXPECT_EQ(line.substr(0, 3), "\t\t\"") << "entry " << i;
      EXPECT_EQ(line.substr(line.size() - 4), "\" \\\n") << "entry " << i;
      EXPECT_EQ(line.substr(3, line.size() - 7).find_first_of("\"$`\\!"), std::string::npos)
          << "entry " << i;
    }
  }
}

TEST(SetupMessageTables, NamesPathsAndCommandsStayLiteral) {
  const struct {
    int index;
    const char *literal;
  } kept[] = {
      {12, "Orvel"},
      {21, "%sInstall/disks"},
      {24, "/floppy/floppy0/disks"},
      {26, "%s/disks"},
      {29, "/dev/%s"},
      {31, "Orvel"},
      {32, "Orvel"},
      {35, "root"},
      {49, "/new_work_area_path"},
      {49, "/tmp\n"},
      {49, "\n    2. "},
      {49, "`setup /new_work_area_path`"},
      {51, "ppd/*"},
      {55, "/new_install_path"},
      {55, "\n    2. "},
      {55, "'setup install /new_install_path'"},

      {59, "VPrintD %s"},
      {61, "Telvane"},
      {62, "VPrintD"},
      {62, ">/%s/%s\n"},
      {63, "? [yn] "},
      {65, "isize"},
      {68, "1.  "},
      {68, "30"},
      {69, "2.  "},
  };
  for (int t = 0; t < kTableCount; ++t) {
    SCOPED_TRACE(kTableNames[t]);
    for (const auto &k : kept) {
      EXPECT_NE(strstr(kTables[t][k.index], k.literal), nullptr)
          << "entry " << k.index << " lacks \"" << k.literal << "\"";
    }
    const char *second = strstr(kTables[t][62], "VPrintD");
    EXPECT_NE(second && strstr(second + 1, "VPrintD"), false) << "VPrintD named once in 62";
    EXPECT_EQ(strncmp(kTables[t][68], "1.  ", 4), 0);
    EXPECT_EQ(strncmp(kTables[t][69], "2.  ", 4), 0);
  }
}

TEST(SetupLanguagePick, EachKeyPicksItsTable) {
  EXPECT_EXIT(PickWith("en_US"), ::testing::ExitedWithCode(kEnglish), "");
  EXPECT_EXIT(PickWith("es_ES"), ::testing::ExitedWithCode(kSpanish), "");
  EXPECT_EXIT(PickWith("it_IT"), ::testing::ExitedWithCode(kItalian), "");
  EXPECT_EXIT(PickWith("fr_FR"), ::testing::ExitedWithCode(kFrench), "");
  EXPECT_EXIT(PickWith("ge_GE"), ::testing::ExitedWithCode(kGerman), "");
  EXPECT_EXIT(PickWith("pr_BR"), ::testing::ExitedWithCode(kPortuguese), "");
  EXPECT_EXIT(PickWith("pr_BR.ISO8859-1"), ::testing::ExitedWithCode(kPortuguese), "");
  EXPECT_EXIT(PickWith("it_IT."), ::testing::ExitedWithCode(kItalian), "");
}

TEST(SetupLanguagePick, OtherValuesGiveEnglish) {
  for (const char *lang :
       {"es_ES@euro", "fr_FR@euro", "de_DE", "pt_BR", "en_GB", "C", "es", "", "FR_FR", "fr_FRx",
        "xfr_FR", "es_ES,it_IT", ",fr_FR", "en_US.UTF-8", ".fr_FR"}) {
    EXPECT_EXIT(PickWith(lang), ::testing::ExitedWithCode(kEnglish), "") << "LANG=" << lang;
  }
  EXPECT_EXIT(PickWith(nullptr), ::testing::ExitedWithCode(kEnglish), "") << "LANG unset";
}

/* Child: LANG with a codeset suffix; exits with the chosen table's code when the
 * environment and a started command both see the cut value, else 2 or 3. */
[[noreturn]] void PickWithCodeset() {
  setenv("LANG", "fr_FR.ISO8859-1", 1);
  int chosen = ChosenTable();
  const char *lang = getenv("LANG");
  if (lang == nullptr || strcmp(lang, "fr_FR") != 0) exit(2);
  if (system("test \"$LANG\" = fr_FR") != 0) exit(3);
  exit(chosen);
}

TEST(SetupLanguagePick, CodesetSuffixIsCutInTheEnvironment) {
  EXPECT_EXIT(PickWithCodeset(), ::testing::ExitedWithCode(kFrench), "");
}

/* Child: picks from fr_FR, then changes and removes LANG and exits with the table code. */
[[noreturn]] void PickThenChangeLang() {
  setenv("LANG", "fr_FR", 1);
  if (nlsSetupStrCvt(3) != NLS_FRENCH[3]) exit(2);
  setenv("LANG", "ge_GE", 1);
  if (nlsSetupStrCvt(3) != NLS_FRENCH[3]) exit(3);
  unsetenv("LANG");
  exit(ChosenTable());
}

TEST(SetupLanguagePick, ChoiceIsKeptAfterLangChanges) {
  EXPECT_EXIT(PickThenChangeLang(), ::testing::ExitedWithCode(kFrench), "");
}

/* Child: the first lookup is out of range; every such index answers "" and the pick of
 * it_IT still holds. */
[[noreturn]] void LookOutsideTheTable() {
  setenv("LANG", "it_IT", 1);
  for (int index : {SETUP_MESSAGES, -1, INT_MAX, INT_MIN, 1000}) {
    const char *text = nlsSetupStrCvt(index);
    if (text == nullptr || *text != '\0') exit(2);
  }
  setenv("LANG", "es_ES", 1);
  exit(ChosenTable());
}

TEST(SetupLanguagePick, IndexOutsideTheTableGivesEmptyText) {
  EXPECT_EXIT(LookOutsideTheTable(), ::testing::ExitedWithCode(kItalian), "");
}

}  // namespace

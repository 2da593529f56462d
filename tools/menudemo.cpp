/* menudemo: a printer-queue set-up written as a client of the text menu engine.
 *
 *   menudemo [-o OUT]           the menu on the terminal; applying stores the settings in
 *                               OUT ("queue.settings") and shows that file
 *   menudemo -f FILE [-o OUT]   batch: the settings of FILE are loaded and applied
 *
 * It shows every part of a menu: a name that must be set (kind 11), a text (12), a port
 * number (13), a float (14), pick-one (9) and pick-many (10) choices, a sub-menu chosen by
 * a condition over another item (8), items greyed out, hidden and forced by state
 * formats, an action (7), apply-and-leave (4) and leave-with-action (5) items, the apply
 * and leave questions, and settings stored with "s" or on apply, and loaded with -f; "h"
 * opens its help, help/menudemo.htm beside the program.
 * Exit status: 0, 1 when the settings could not be read, applied or stored, 2 for usage.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "Dbm.h"
#include "MemMgr.h"
#include "NlsUtils.h"
#include "TextMenu.h"
#include "toolpath.h"
#include "utils.h"

namespace {

/* Item indexes of the top menu: the state formats and conditions below name them. */
enum {
  kIntro,
  kName,
  kDescription,
  kConnection, /* H1;2{4}: no port number for a serial or parallel line */
  kPort,
  kLine,  /* 3.0 3.1: network or serial settings, none for a parallel line */
  kPaper, /* N2{8}S2{8.0}: legal paper prints one-sided (duplex off and greyed) */
  kDarkness,
  kDuplex,
  kTrays,
  kChooseTrays,
  kBanner, /* H0{12}: no banner text without a banner page */
  kBannerText,
  kTrayMask, /* hidden: kind-10 values are not stored, so the mask is kept here as well */
  kApply,
  kQuit,
  kTopCount
};

/* Choice lists are written into (availability markers): they live in arrays. */
char connectionChoices[] = "_Network,_Serial,_Parallel, USB (no driver)";
char paperChoices[] = "_A4,_Letter,_Legal";
char duplexChoices[] = "_Off,_Long edge,_Short edge";
char trayChoices[] = "_None,_Tray 2,_Tray 3,_Manual feed";
char bannerChoices[] = "_No,_Yes";
char protocolChoices[] = "_RAW,_LPD,_IPP";
char baudChoices[] = "_9600,_19200,_38400,_115200";

TextMenuItem topItems[kTopCount + 1];
TextMenuItem networkItems[4];
TextMenuItem serialItems[4];
TextMenu topMenu, networkMenu, serialMenu;
TextMenu *lineMenus[] = {&networkMenu, &serialMenu}; /* one per condition of kLine */

/* Sub-menu values outlive the sub-menu through Default: these keep the texts. */
char hostDefault[TM_TEXT_SIZE] = "printer1";
char deviceDefault[TM_TEXT_SIZE] = "/dev/ttyS0";

const char *outputFile = "queue.settings";
bool batch = false;
int status = 0;

TextMenuItem Item(const char *label, uint32_t kind, const char *prompt = nullptr,
                  const char *format = nullptr) {
  TextMenuItem item{};
  item.pLabel = label;
  item.Kind = kind;
  item.pPrompt = prompt;
  item.pFormat = format;
  item.Saved = -1;
  return item;
}

const char *Text(const TextMenuItem &item) {
  const char *text = reinterpret_cast<const char *>(item.Value);
  return text != nullptr ? text : "";
}

/* Choice n (0-based) of a list without its marker, copied out of the token buffer. */
std::string Choice(const char *list, intptr_t n) {
  const char *token = GetTokenN(list, ",", static_cast<int>(n) + 1);
  if (token == nullptr || n < 0) return "?";
  return token[0] == '_' || token[0] == ' ' ? token + 1 : token;
}

/* A sub-menu keeps what was set in it as its Default values. */
void *KeepNetwork(TextMenu *menu) {
  snprintf(hostDefault, sizeof hostDefault, "%s", Text(menu->pItems[0]));
  menu->pItems[0].Default = reinterpret_cast<intptr_t>(hostDefault);
  menu->pItems[1].Default = menu->pItems[1].Value;
  return nullptr;
}
void *KeepSerial(TextMenu *menu) {
  snprintf(deviceDefault, sizeof deviceDefault, "%s", Text(menu->pItems[0]));
  menu->pItems[0].Default = reinterpret_cast<intptr_t>(deviceDefault);
  menu->pItems[1].Default = menu->pItems[1].Value;
  return nullptr;
}
void *KeepNetworkItem(TextMenu *menu, TextMenuItem *) { return KeepNetwork(menu); }
void *KeepSerialItem(TextMenu *menu, TextMenuItem *) { return KeepSerial(menu); }

/* Kind 7: switches extra trays on or off; the numbers follow the item number ("10 2,4") or
 * are asked for. Choice 1 "None" stands alone: the mask 1 shows as "none". A null result
 * tells the engine that something changed. */
void *ChooseTrays(TextMenu *menu, TextMenuItem *) {
  std::string numbers = pOption != nullptr ? pOption : "";
  if (numbers.empty()) {
    char *typed = PromptUser("Trays to switch on or off (2 to 4, for example 2,4): ", nullptr);
    numbers = typed;
    PutMem(typed);
  }
  TextMenuItem &trays = menu->pItems[kTrays];
  uint32_t mask = static_cast<uint32_t>(trays.Value);
  for (const char *p = numbers.c_str(); *p != '\0'; ++p) {
    if (*p < '1' || *p > '9') continue;
    int n = atoi(p);
    while (p[1] >= '0' && p[1] <= '9') ++p;
    if (n == 1) mask = 1;
    if (n >= 2 && n <= trays.ChoiceCnt) mask = (mask ^ 1u << (n - 1)) & ~1u;
  }
  if (mask == 0) mask = 1;
  if (mask == static_cast<uint32_t>(trays.Value)) return menu; /* nothing changed */
  trays.Previous = trays.Value;
  trays.Value = mask;
  menu->pItems[kTrayMask].Value = mask;
  ProcessStateFormat(menu, kTrays);
  return nullptr;
}

/* Stores the menu tree in outputFile and shows it; false when it cannot be written. */
bool StoreAndShow(TextMenu *menu) {
  pOut = fopen(outputFile, "w");
  if (pOut == nullptr) {
    fprintf(stderr, "ERROR: can't open file, %s\n", outputFile);
    return false;
  }
  bool ok = StoreMenu(menu) != 0;
  ok = fclose(pOut) == 0 && ok;
  pOut = nullptr;
  if (!ok) {
    fprintf(stderr, "ERROR: can't write file, %s\n", outputFile);
    return false;
  }
  printf("\nSettings stored in %s:\n", outputFile);
  fflush(stdout);
  FILE *in = fopen(outputFile, "r");
  for (int c; in != nullptr && (c = getc(in)) != EOF;) putchar(c);
  if (in != nullptr) fclose(in);
  return true;
}

/* ApplyFunc of the top menu: the queue as it would be set up, then the settings file. */
void *ApplyQueue(TextMenu *menu) {
  const TextMenuItem *it = menu->pItems;
  if (Text(it[kName])[0] == '\0') {
    fprintf(stderr, "%s: no queue name: nothing applied\n", my_name);
    status = 1;
    return nullptr;
  }
  menu->pItems[kTrays].Value = it[kTrayMask].Value != 0 ? it[kTrayMask].Value : 1;
  printf("\nQueue \"%s\" (%s)\n", Text(it[kName]), Text(it[kDescription]));
  const std::string connection = Choice(connectionChoices, it[kConnection].Value);
  printf("  connection:  %s", connection.c_str());
  TextMenu *line = ValidateMenu(menu, kLine);
  if (line == &networkMenu)
    printf(" to %s:%d (%s)", hostDefault, static_cast<int>(it[kPort].Value),
           Choice(protocolChoices, networkItems[1].Default).c_str());
  else if (line == &serialMenu)
    printf(" on %s at %s baud", deviceDefault, Choice(baudChoices, serialItems[1].Default).c_str());
  printf("\n  paper:       %s, darkness %.1f, duplex %s\n",
         Choice(paperChoices, it[kPaper].Value).c_str(), TextMenuFloat(it[kDarkness].Value),
         Choice(duplexChoices, it[kDuplex].Value).c_str());
  printf("  extra trays:");
  for (int k = 0; k < it[kTrays].ChoiceCnt; ++k)
    if (static_cast<uint32_t>(it[kTrays].Value) >> k & 1u)
      printf(" %s", Choice(trayChoices, k).c_str());
  if (it[kBanner].Value == 1)
    printf("\n  banner:      \"%s\"\n", Text(it[kBannerText]));
  else
    printf("\n  banner:      none\n");
  if (!StoreAndShow(menu)) status = 1;
  return nullptr;
}

void *ApplyAndLeave(TextMenu *menu, TextMenuItem *) { return ApplyQueue(menu); }

/* Kind 5: leaving without applying, and the answer to a settings file that cannot be read. */
void *QuitWithoutApplying(TextMenu *, TextMenuItem *) {
  if (batch) {
    fprintf(stderr, "%s: the settings file could not be read: nothing applied\n", my_name);
    status = 1;
  } else {
    printf("\nNothing applied.\n");
  }
  return nullptr;
}

void BuildMenus() {
  TextMenuItem *t = topItems;
  t[kIntro] = Item("Queue settings", TM_KIND_LINE);
  t[kName] =
      Item("Queue name", TM_KIND_NAME, "Queue name (letters, digits, - and _)", "A(1,32)+-+_");
  t[kDescription] = Item("Description", TM_KIND_TEXT, "Description", "p(0,60)");
  t[kDescription].Default = reinterpret_cast<intptr_t>("Office printer");
  t[kConnection] = Item("Connection", TM_KIND_PICK_ONE, nullptr, "H1;2{4}");
  t[kConnection].pChoices = connectionChoices;
  t[kPort] = Item("Port number", TM_KIND_INT, "TCP port (1-65535)", "d(1,65535)");
  t[kPort].Default = 9100;
  t[kLine] = Item("Line settings", TM_KIND_SUBMENU, nullptr, "3.0 3.1");
  t[kLine].Value = reinterpret_cast<intptr_t>(lineMenus);
  t[kPaper] = Item("Paper", TM_KIND_PICK_ONE, nullptr, "N2{8}S2{8.0}");
  t[kPaper].pChoices = paperChoices;
  t[kDarkness] = Item("Darkness", TM_KIND_FLOAT, "Darkness (0 to 10)", "f(0,10)");
  t[kDarkness].Default = TextMenuFloatBits(5.0f);
  t[kDuplex] = Item("Duplex", TM_KIND_PICK_ONE);
  t[kDuplex].pChoices = duplexChoices;
  t[kTrays] = Item("Extra trays", TM_KIND_PICK_MANY);
  t[kTrays].pChoices = trayChoices;
  t[kTrays].Value = 1;
  t[kChooseTrays] = Item("Choose trays", TM_KIND_ACTION);
  t[kChooseTrays].Callback = ChooseTrays;
  t[kBanner] = Item("Banner page", TM_KIND_PICK_ONE, nullptr, "H0{12}");
  t[kBanner].pChoices = bannerChoices;
  t[kBannerText] = Item("Banner text", TM_KIND_TEXT, "Banner text", "p(1,40)");
  t[kBannerText].Default = reinterpret_cast<intptr_t>("Printed by Orvel");
  t[kTrayMask] = Item("Tray mask", TM_KIND_INT);
  t[kTrayMask].State = TM_STATE_HIDDEN;
  t[kTrayMask].Default = 1;
  t[kApply] = Item("~a Apply", TM_KIND_APPLY);
  t[kApply].Callback = ApplyAndLeave;
  t[kQuit] = Item("~q Quit", TM_KIND_LEAVE_ACTION);
  t[kQuit].Callback = QuitWithoutApplying;
  t[kTopCount] = Item(nullptr, 0);
  topMenu = {"Printer queue set-up",
             TM_TITLE_CENTRED,
             "Apply the queue settings",
             ApplyQueue,
             nullptr,
             nullptr,
             topItems,
             TM_FLAG_STORE_NAMED | TM_FLAG_HELP};

  networkItems[0] = Item("Host name", TM_KIND_NAME, "Printer host name", "A(1,63)+-+.");
  networkItems[0].Default = reinterpret_cast<intptr_t>(hostDefault);
  networkItems[1] = Item("Protocol", TM_KIND_PICK_ONE);
  networkItems[1].pChoices = protocolChoices;
  networkItems[2] = Item("~a Apply", TM_KIND_APPLY);
  networkItems[2].Callback = KeepNetworkItem;
  networkItems[3] = Item(nullptr, 0);
  networkMenu = {
      "Network connection", TM_TITLE_PLAIN,       nullptr, KeepNetwork, &topMenu, nullptr,
      networkItems,         TM_FLAG_SINGLE_SPACED};

  serialItems[0] = Item("Device", TM_KIND_TEXT, "Serial device", "p(1,64)");
  serialItems[0].Default = reinterpret_cast<intptr_t>(deviceDefault);
  serialItems[1] = Item("Baud rate", TM_KIND_PICK_ONE);
  serialItems[1].pChoices = baudChoices;
  serialItems[1].Default = serialItems[1].Value = 3; /* stored as it is until the menu runs */
  serialItems[2] = Item("~a Apply", TM_KIND_APPLY);
  serialItems[2].Callback = KeepSerialItem;
  serialItems[3] = Item(nullptr, 0);
  serialMenu = {"Serial line", TM_TITLE_PLAIN, nullptr,     KeepSerial,
                &topMenu,      nullptr,        serialItems, TM_FLAG_SINGLE_SPACED};
}

int Usage() {
  fprintf(stderr, "usage: %s [-f SETTINGS] [-o OUTPUT]\n", my_name);
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  my_name = const_cast<char *>("menudemo");
  const char *settings = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-f") == 0 && i + 1 < argc)
      settings = argv[++i];
    else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc)
      outputFile = argv[++i];
    else
      return Usage();
  }
  batch = settings != nullptr;
  SetToolDataPath(argv[0]); /* the catalogues: beside the program or installed */
  pDrvCoreDB = NlsOpenDB("CoreString", 0);
  const std::string help = std::string(pToolPath ? pToolPath : ".") + "/help/menudemo.htm";
  pTtyHtmlName = help.c_str();
  BuildMenus();
  RunMenu(&topMenu, settings, !batch);
  if (pDrvCoreDB != nullptr) DbTClose(static_cast<DbT *>(pDrvCoreDB));
  return status;
}

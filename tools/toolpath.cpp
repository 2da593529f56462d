/* The tools' data directory: beside the program in a build tree, share/orvelvp once
 * installed. */
#include "toolpath.h"

#include <sys/stat.h>

#include <string>

#include "MemMgr.h"
#include "utils.h"

#ifndef TOOL_DATA_DIR
#define TOOL_DATA_DIR "../share/orvelvp"
#endif

namespace {

bool HoldsCatalogues(const std::string &dir) {
  struct stat st;
  return stat((dir + "/db").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

char *SetToolDataPath(const char *argv0) {
  char *own = GetToolPath(argv0);
  pToolPath = own;
  if (own == nullptr || HoldsCatalogues(own)) return pToolPath;
  /* "/" as the program's directory must not give "//../share". */
  std::string base = own;
  if (base == "/") base.clear();
  const std::string installed = base + "/" + TOOL_DATA_DIR;
  if (HoldsCatalogues(installed)) {
    pToolPath = SaveStr_(installed.c_str());
    PutMem(own);
  }
  return pToolPath;
}

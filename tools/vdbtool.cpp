/* vdbtool: looks into and changes a record database file (plain or typed).
 *
 *   vdbtool list FILE                  keys, one a line
 *   vdbtool get FILE KEY               the value of KEY
 *   vdbtool put FILE KEY VALUE         stores VALUE (as text, with its NUL) under KEY
 *   vdbtool delete FILE KEY [--prefix] removes KEY, or every key beginning with KEY
 *   vdbtool dump FILE                  every record as "key<TAB>value"
 *   vdbtool check FILE                 walks the file; reports the first bad record
 *
 * FILE names the file exactly. Keys and values are shown with bytes outside printable ASCII
 * escaped (\0 \t \n \\ \xHH). Exit status: 0 done, 1 failed (missing file or key, a damaged
 * file, a change not written), 2 wrong usage.
 */
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "toolpath.h"
#include "utils.h"

namespace {

const char kUsage[] =
    "usage: vdbtool list FILE\n"
    "       vdbtool get FILE KEY\n"
    "       vdbtool put FILE KEY VALUE\n"
    "       vdbtool delete FILE KEY [--prefix]\n"
    "       vdbtool dump FILE\n"
    "       vdbtool check FILE\n"
    "Looks into and changes a record database file (plain or typed; the kind is read from\n"
    "the file). put stores VALUE as text with its NUL; a new file is made typed. get prints a\n"
    "text value without its NUL and with a line end, any other value as its bytes. list and\n"
    "dump show bytes outside printable ASCII escaped (\\0 \\t \\n \\\\ \\xHH).\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

int Usage(const char *why) {
  if (why) fprintf(stderr, "vdbtool: %s\n", why);
  fputs(kUsage, stderr);
  return 2;
}

std::string Escape(const char *p, int n) {
  std::string out;
  for (int i = 0; i < n; i++) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    char b[8];
    if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else if (c == 0) {
      out += "\\0";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      snprintf(b, sizeof b, "\\x%02x", c);
      out += b;
    }
  }
  return out;
}

/* Opens FILE; null after a message when it is missing or cannot be read (unless a missing
 * file is allowed, as for put). */
DbT *OpenDb(const char *file, int flags, bool mayBeMissing) {
  DbT *db = DbTOpenFile(file, flags);
  if (!db) {
    fprintf(stderr, "vdbtool: %s: out of memory\n", file);
    return nullptr;
  }
  const char *why = nullptr;
  if (db->unreadable) {
    why = "not a readable file";
  } else if (!db->loaded && !mayBeMissing) {
    why = "no such database";
  }
  if (why) {
    fprintf(stderr, "vdbtool: %s: %s\n", file, why);
    DbTClose(db);
    return nullptr;
  }
  return db;
}

/* The node of key in db's records, or null; the caller frees *all. */
DbLinkNode *FindNode(DbT *db, const char *key, DbLinkNode **all) {
  *all = DbmTGetDbLinkList(db, key);
  for (DbLinkNode *n = *all; n; n = n->next) {
    if (strcmp(n->data, key) == 0) return n;
  }
  return nullptr;
}

int NoKey(const char *key) {
  fprintf(stderr, "vdbtool: %s: no such key\n", Escape(key, static_cast<int>(strlen(key))).c_str());
  return 1;
}

int Changed(DbT *db, const char *file, int ok) {
  DbTClose(db);
  if (ok) return 0;
  fprintf(stderr, "\nvdbtool: %s: not changed\n", file);
  return 1;
}

int List(const char *file, bool values) {
  DbT *db = OpenDb(file, DBT_NO_RECHECK, false);
  if (!db) return 1;
  DbLinkNode *all = DbmTGetDbLinkList(db, nullptr);
  for (DbLinkNode *n = all; n; n = n->next) {
    std::string line = Escape(n->data, static_cast<int>(strlen(n->data)));
    if (values) line += "\t" + Escape(n->value, n->valueLength);
    puts(line.c_str());
  }
  DbmFreeDbLinkList(all);
  DbTClose(db);
  return 0;
}

int Get(const char *file, const char *key) {
  DbT *db = OpenDb(file, DBT_NO_RECHECK, false);
  if (!db) return 1;
  DbLinkNode *all;
  DbLinkNode *n = FindNode(db, key, &all);
  int status = 0;
  if (!n) {
    status = NoKey(key);
  } else if (n->valueLength > 0 && n->value[n->valueLength - 1] == '\0') {
    fwrite(n->value, 1, static_cast<size_t>(n->valueLength - 1), stdout);
    putchar('\n');
  } else {
    fwrite(n->value, 1, static_cast<size_t>(n->valueLength), stdout);
  }
  DbmFreeDbLinkList(all);
  DbTClose(db);
  return status;
}

int Put(const char *file, const char *key, const char *value) {
  DbT *db = OpenDb(file, 0, true);
  if (!db) return 1;
  return Changed(db, file, DbmTPutRecord(db, key, value, static_cast<int>(strlen(value)) + 1));
}

int Delete(const char *file, const char *key, bool prefix) {
  DbT *db = OpenDb(file, 0, false);
  if (!db) return 1;
  if (prefix) {
    if (!*key) {
      DbTClose(db);
      return Usage("an empty prefix would remove every record");
    }
    return Changed(db, file, DbmTDeleteRecords(db, key));
  }
  DbLinkNode *all;
  DbLinkNode *n = FindNode(db, key, &all);
  DbmFreeDbLinkList(all);
  if (!n) {
    DbTClose(db);
    return NoKey(key);
  }
  return Changed(db, file, DbmTDeleteRecord(db, key));
}

int Check(const char *file) {
  DbT *db = OpenDb(file, DBT_NO_RECHECK, false);
  if (!db) return 1;
  const char *kinds[] = {"empty", "plain", "typed"};
  int status = 0;
  printf("%s: %s, %ld records\n", file, kinds[db->kind], db->count);
  if (db->kind == 2 && db->fileSize < DBT_HEADER_SIZE) {
    printf("%s: damaged: the header is cut off after %lld bytes\n", file, db->fileSize);
    status = 1;
  } else if (db->cutAt >= 0) {
    printf("%s: damaged at byte %ld: %s; the %lld bytes from there are not read\n", file, db->cutAt,
           db->cutWhy, db->fileSize - db->cutAt);
    status = 1;
  } else if (db->kind == 2) {
    /* The header's count: decimal digits after "TVDBAA", at most 9. */
    long said = 0;
    for (int i = 6; i < 15 && db->image[i] >= '0' && db->image[i] <= '9'; i++) {
      said = said * 10 + (db->image[i] - '0');
    }
    if (said != db->count) {
      printf("%s: damaged: the header counts %ld records\n", file, said);
      status = 1;
    }
  }
  DbTClose(db);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  my_name = const_cast<char *>("vdbtool");
  SetToolDataPath(argv[0]); /* the catalogues: beside the program or installed */
  std::vector<const char *> args;
  bool prefix = false;
  bool options = true;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (options && strcmp(a, "--") == 0) {
      options = false;
    } else if (options && (strcmp(a, "-h") == 0 || strcmp(a, "--help") == 0)) {
      fputs(kUsage, stdout);
      return 0;
    } else if (options && strcmp(a, "--prefix") == 0) {
      prefix = true;
    } else if (options && a[0] == '-' && a[1] != '\0') {
      return Usage((std::string("unknown option ") + a).c_str());
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) return Usage(nullptr);
  std::string cmd = args[0];
  size_t n = args.size() - 1;
  size_t want = cmd == "get" || cmd == "delete" ? 2 : cmd == "put" ? 3 : 1;
  if (cmd != "list" && cmd != "get" && cmd != "put" && cmd != "delete" && cmd != "dump" &&
      cmd != "check") {
    return Usage(("unknown command " + cmd).c_str());
  }
  if (n != want) return Usage(("wrong number of arguments for " + cmd).c_str());
  if (prefix && cmd != "delete") return Usage("--prefix belongs to delete");
  const char *file = args[1];
  if (cmd == "list") return List(file, false);
  if (cmd == "dump") return List(file, true);
  if (cmd == "check") return Check(file);
  if (cmd == "get") return Get(file, args[2]);
  if (cmd == "put") return Put(file, args[2], args[3]);
  return Delete(file, args[2], prefix);
}

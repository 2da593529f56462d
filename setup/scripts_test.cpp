/* Tests of the generated configuration: the flag file, the application directory, the four
 * interface scripts and the launchers. The scripts are run for real with fake package
 * programs that record how they were called. */
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "SysCmd.h"
#include "setup.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

/* Writes an executable shell script. */
void WriteExec(const std::string &path, const std::string &body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int Mode(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

int ThisYear() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

/* 0 when the shell accepts the script's syntax. */
int ShellCheck(const std::string &shell, const std::string &path) {
  std::string cmd = shell + " -n '" + path + "' 2>&1";
  return system(cmd.c_str());
}

/* Each line of a script with its leading blanks and tabs removed. */
std::set<std::string> TrimmedLines(const std::string &text) {
  std::set<std::string> set;
  for (const std::string &line : Lines(text)) {
    size_t start = line.find_first_not_of(" \t");
    set.insert(start == std::string::npos ? "" : line.substr(start));
  }
  return set;
}

/* Writes a driver script to path with a file size limit of 100 bytes; exits 0 when the
 * generator answered 0 and left the file without execute bits. */
void WriteUnderSizeLimit(const std::string &path) {
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit;
  limit.rlim_cur = limit.rlim_max = 100;
  setrlimit(RLIMIT_FSIZE, &limit);
  int written = generatev4v5DriverScript(path.c_str(), ScriptShShell, pv4DriverScript);
  exit(written == 0 && (Mode(path) & 0111) == 0 ? 0 : 1);
}

/* The words of a flag file and the arm of the scripts they select. */
struct FlagCase {
  const char *content;
  const char *arm;
};
constexpr FlagCase kFlagCases[] = {
    {" V5 ", "V5"},         {" LPRng ", "LPRng"},   {" CUPS ", "CUPS"},
    {" BSD ", "BSD"},       {" AIX ", "AIX"},       {"", "V5"},
    {"LPRng CUPS", "CUPS"}, {"CUPS\nAIX\n", "AIX"}, {" Solaris ", "V5"},
};

/* A private directory tree, a unique program name and driver globals pointing into it. The
 * command table searches a private bin directory first, so fake lpd and ps can stand in for
 * the host's. */
class ScriptsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ut_scripts_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    base_ = dir_ + "/base";
    app_ = base_ + "/Orvel/vpxx";
    bin_ = dir_ + "/bin";
    rec_ = dir_ + "/rec";
    queue_ = dir_ + "/queues/pq";
    vspool_ = dir_ + "/vspool";
    for (const std::string &d : {app_, bin_, rec_, queue_}) fs::create_directories(d);

    name_ = std::string("ut_scripts_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    my_name = name_.data();
    pAppDir = app_.data();
    pTargetInstallDir = base_.data();

    search_ = bin_;
    SearchPaths = search_.data();
    ResetProbes();
  }

  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    unlink(("/tmp/" + name_ + ".log").c_str());
    ResetProbes();
  }

  /* Forgets where lpd and ps were found, so the next probe resolves them again. */
  void ResetProbes() {
    PutMem(FullSearchPath);
    FullSearchPath = nullptr;
    ComList[CMD_LPD].dir = nullptr;
    ComList[CMD_PS].dir = nullptr;
  }

  /* A fake package program in the application directory: records its call line, its
   * environment and its working directory, and prints one line. */
  void FakeTool(const std::string &name, const std::string &extra = "") {
    WriteExec(app_ + "/" + name, "printf '%s\\n' \"$0 $*\" >> " + rec_ +
                                     "/calls\n"
                                     "env > " +
                                     rec_ + "/env\npwd > " + rec_ +
                                     "/cwd\n"
                                     "echo \"output of " +
                                     name + "\"\n" + extra);
  }

  void ClearRecord() {
    for (const char *f : {"/calls", "/env", "/cwd", "/data", "/count"}) unlink((rec_ + f).c_str());
  }
  std::vector<std::string> Calls() { return Lines(ReadFile(rec_ + "/calls")); }
  std::string Cwd() {
    std::string cwd = ReadFile(rec_ + "/cwd");
    if (!cwd.empty() && cwd.back() == '\n') cwd.pop_back();
    return cwd;
  }
  std::map<std::string, std::string> Env() {
    std::map<std::string, std::string> env;
    for (const std::string &line : Lines(ReadFile(rec_ + "/env"))) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return env;
  }

  void SetFlags(const std::string &content) { WriteFile(app_ + "/.vp_cfg", content); }

  /* Runs script with args in cwd, standard input from input, the environment of the test
   * without the spooler's variables plus env. Returns the exit status (128 + signal). */
  int Run(const std::string &script, const std::vector<std::string> &args, const std::string &cwd,
          const std::vector<std::string> &env = {}, const std::string &input = "") {
    std::string in = dir_ + "/stdin";
    WriteFile(in, input);
    std::string out = dir_ + "/stdout";
    std::vector<std::string> envs;
    for (char **e = environ; *e; ++e) {
      std::string entry(*e);
      std::string name = entry.substr(0, entry.find('='));
      if (name == "PRINTER" || name == "DISPLAY" || name == "PANGO_RC_FILE" ||
          name == "GTK_IM_MODULE_FILE" || name == "GDK_PIXBUF_MODULE_FILE" ||
          name == "LD_LIBRARY_PATH" || name.rfind("VPrint", 0) == 0)
        continue;
      envs.push_back(entry);
    }
    envs.insert(envs.end(), env.begin(), env.end());
    std::vector<std::string> argStore{script};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char *> argv, envp;
    for (std::string &a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string &e : envs) envp.push_back(e.data());
    envp.push_back(nullptr);

    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(cwd.c_str()) != 0) _exit(126);
      int fd = open(in.c_str(), O_RDONLY);
      if (fd < 0 || dup2(fd, 0) < 0) _exit(126);
      close(fd);
      fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
      close(fd);
      alarm(30); /* a script that loops forever fails the test instead of hanging it */
      execve(script.c_str(), argv.data(), envp.data());
      _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  /* A link named like a printer, for the System V arms that take the printer from $0. */
  std::string PrinterLink(const std::string &script, const std::string &printer) {
    std::string link = dir_ + "/" + printer;
    unlink(link.c_str());
    EXPECT_EQ(symlink(script.c_str(), link.c_str()), 0);
    return link;
  }

  std::string dir_, base_, app_, bin_, rec_, queue_, vspool_, name_, search_;
};

/* Spooler arguments of each subsystem. */
const std::vector<std::string> kAixArgs{"x", "y"};
const std::vector<std::string> kV5Args{"42",      "alice@host", "Report ###x", "2",
                                       "a=1 b=2", "/data/f1",   "/data/f2"};

std::vector<std::string> LprngArgs(const std::string &spool) {
  return {"-Pq1", "-d" + spool, "-efile1,file2", "-Zopt1,opt2", "-nuser", "-hhost"};
}

/* The spooler's arguments to a driver script for the subsystem arm: LPRng and BSD pass
 * LPRng-style options, AIX its own words, V5 and CUPS the System V job. */
std::vector<std::string> DriverArgs(const std::string &arm, const std::string &spool) {
  if (arm == "AIX") return kAixArgs;
  if (arm == "LPRng" || arm == "BSD") return LprngArgs(spool);
  return kV5Args;
}

TEST_F(ScriptsTest, GeneratedScriptsAreValidShellWithShellLineBannerAndMode) {
  const std::string queue = app_ + "/OrvelPrintvpxx", v4 = app_ + "/v4DriverScript",
                    v5 = app_ + "/v5DriverScript", vsf = app_ + "/OrvelVSF",
                    launcher = dir_ + "/vlaunch";
  umask(077); /* the scripts get 755 whatever the umask */
  EXPECT_EQ(generateOrvelPrintvpxxScript(queue.c_str(), ScriptShShell, OrvelPrintvpxxScript), 1);
  EXPECT_EQ(generatev4v5DriverScript(v4.c_str(), ScriptShShell, pv4DriverScript), 1);
  EXPECT_EQ(generatev4v5DriverScript(v5.c_str(), ScriptShShell, pv5DriverScript), 1);
  EXPECT_EQ(generateOrvelVSFScript(vsf.c_str(), ScriptShShell, OrvelVSFScript, vspool_.c_str()), 1);
  EXPECT_EQ(
      GenSimpleScript(launcher.c_str(), ScriptShShell, SimpleScript, pAppDir, pAppDir, "vtool"),
      launcher.c_str());
  umask(022);

  const std::string year = std::to_string(ThisYear());
  for (const std::string &path : {queue, v4, v5, vsf, launcher}) {
    SCOPED_TRACE(path);
    std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind("#!/bin/sh\n", 0), 0u);
    EXPECT_EQ(Mode(path), 0755);
    EXPECT_EQ(ShellCheck("sh", path), 0);
    EXPECT_EQ(ShellCheck("bash", path), 0);

    /* The banner: comment lines of one width, the year of the run, two empty lines. */
    std::vector<std::string> lines = Lines(text);
    size_t i = 1;
    size_t width = lines.at(1).size();
    bool hasYear = false;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
      EXPECT_EQ(lines[i].front(), '#');
      EXPECT_EQ(lines[i].back(), '#');
      EXPECT_EQ(lines[i].size(), width) << lines[i];
      if (lines[i].find(year) != std::string::npos) hasYear = true;
    }
    EXPECT_TRUE(hasYear);
    ASSERT_LT(i + 1, lines.size());
    EXPECT_EQ(lines[i], "");
    EXPECT_EQ(lines[i + 1], "");
    /* Every placeholder was filled; the only "%" left are the scripts' own printf formats. */
    std::string rest = text;
    const std::string format = "printf '%s\\n'";
    for (size_t at; (at = rest.find(format)) != std::string::npos;) rest.erase(at, format.size());
    EXPECT_EQ(rest.find('%'), std::string::npos);
  }

  /* The launcher: banner, then exactly the template with the directory and the file. */
  std::string text = ReadFile(launcher);
  std::string body = "\nVPrintFileSourceDir=`pwd`\nexport VPrintFileSourceDir\n\ncd " + app_ +
                     "\nexec " + app_ + "/vtool $*\n";
  ASSERT_GE(text.size(), body.size());
  EXPECT_EQ(text.substr(text.size() - body.size()), body);
  EXPECT_NE(text.find("#\n\n\n" + body), std::string::npos);
}

TEST_F(ScriptsTest, ScriptsHoldTheDocumentedLines) {
  const std::string queue = app_ + "/OrvelPrintvpxx", v4 = app_ + "/v4DriverScript",
                    v5 = app_ + "/v5DriverScript", vsf = app_ + "/OrvelVSF";
  generateOrvelPrintvpxxScript(queue.c_str(), ScriptShShell, OrvelPrintvpxxScript);
  generatev4v5DriverScript(v4.c_str(), ScriptShShell, pv4DriverScript);
  generatev4v5DriverScript(v5.c_str(), ScriptShShell, pv5DriverScript);
  generateOrvelVSFScript(vsf.c_str(), ScriptShShell, OrvelVSFScript, vspool_.c_str());

  const std::vector<std::string> head{
      "ToolPath=\"" + app_ + "\"",      "CfgFlags=`cat ${ToolPath}/.vp_cfg`",
      "for flag in ${CfgFlags}",        "case $flag in",
      "LPRng | V5 | AIX | BSD | CUPS)", "flConfig=$flag",
      "case ${flConfig:-V5} in"};
  const std::string exports =
      "export PATH VPrintPrinter VPrintRequest_id VPrintUser_name VPrintTitle VPrintCopies "
      "VPrintOption_list";
  auto expectLines = [](const std::string &path, const std::vector<std::string> &want) {
    std::set<std::string> have = TrimmedLines(ReadFile(path));
    for (const std::string &line : want) EXPECT_EQ(have.count(line), 1u) << path << ": " << line;
  };
  auto countOf = [](const std::string &path, const std::string &line) {
    size_t n = 0;
    for (const std::string &l : Lines(ReadFile(path))) {
      size_t start = l.find_first_not_of(" \t");
      if (start != std::string::npos && l.substr(start) == line) ++n;
    }
    return n;
  };

  for (const std::string &path : {queue, v4, v5, vsf}) expectLines(path, head);
  expectLines(
      queue,
      {"${ToolPath}/AixInterface $*", "VPrintQueue=`pwd`", "VPrintPrinter=`basename $VPrintQueue`",
       "${ToolPath}/vprvpxxtty -d$VPrintPrinter -f >vprintvpxx.log 2>vprintvpxx.log",
       "${ToolPath}/vprvpxxtty -d${VPrintQueue} -f $options $FFL 1>>/dev/null "
       "2>>/dev/null",
       "exit 0", "PATH=/usr/sbin:/usr/bin", "VPrintPrinter=`/usr/bin/basename $0`", exports,
       "shift 5", "${ToolPath}/vprvpxxtty -d$VPrintPrinter -i $*", "VPrintPrinter=$PRINTER"});
  EXPECT_EQ(countOf(queue, "${ToolPath}/vprvpxxtty -d$VPrintPrinter -i $*"), 2u);

  const std::string modules[] = {
      "PANGO_RC_FILE=\"${ToolPath}/lib/gtk/modules/etc/pango/pangorc\"",
      "GTK_IM_MODULE_FILE=\"${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gtk.immodules\"",
      "GDK_PIXBUF_MODULE_FILE=\"${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders\""};
  for (const char *tool : {"driver", "v5driver"}) {
    const std::string &path = std::string(tool) == "driver" ? v4 : v5;
    const std::string t = std::string("${ToolPath}/") + tool;
    expectLines(path,
                {t + " -f AIX $* 1>>/dev/null 2>>/dev/null", "exit 0;",
                 "PATH=/usr/sbin:/usr/bin:/bin", "PRINTER=`/usr/bin/basename $0`",
                 "LD_LIBRARY_PATH=\"${ToolPath}/lib:${ToolPath}/lib/gtk:/lib:/usr/lib\"",
                 "DISPLAY=${DISPLAY:-\":0.0\"}",
                 t + " -d${PRINTER} $VPrintCopies $UserName $Title $OptionList $* 1>>/dev/null "
                     "2>>/dev/null",
                 t + " -d${PRINTER} $Copies $UserName $Title $OptionList $* 1>>/dev/null "
                     "2>>/dev/null"});
  }
  /* The module files precede the driver in the AIX, V5 and CUPS arms of the v4 script only. */
  for (const std::string &m : modules) {
    EXPECT_EQ(countOf(v4, m), 3u) << m;
    EXPECT_EQ(countOf(v5, m), 0u) << m;
  }
  expectLines(v4, {"LPRng | BSD)",
                   "${ToolPath}/driver -d${PRINTER} $OptionList $FFL 1>>/dev/null 2>>/dev/null"});
  EXPECT_EQ(countOf(v4, "exit 0"), 3u);
  EXPECT_EQ(countOf(v5, "exit 0"), 2u);
  EXPECT_EQ(countOf(v5, "LPRng | BSD)"), 0u);

  expectLines(vsf, {"SpoolDir=\"" + vspool_ + "\"", "_exitVal=1", "while [ $_exitVal -ne 0 ]",
                    "_exitVal=$?", "done", "${ToolPath}/vsf $*",
                    "while getopts C:A:F:H:J:L:P:Q:a:d:e:f:h:j:k:l:n:s:w:y:t:x: opt",
                    "flRemoveJob=\"True\"", "# AIX", "# BSD", "# LPRng", "# V5", "# CUPS"});
  EXPECT_EQ(countOf(vsf, "_exitVal=1"), 5u); /* one retry loop per arm */
}

TEST_F(ScriptsTest, QueueScriptRunsTheQueueToolForEachSubsystem) {
  const std::string script = app_ + "/OrvelPrintvpxx";
  ASSERT_EQ(generateOrvelPrintvpxxScript(script.c_str(), ScriptShShell, OrvelPrintvpxxScript), 1);
  FakeTool("vprvpxxtty");
  FakeTool("AixInterface");
  const std::string link = PrinterLink(script, "lp1");
  const std::string lspool = dir_ + "/lspool";
  const std::string tool = app_ + "/vprvpxxtty";

  for (const FlagCase &c : kFlagCases) {
    SCOPED_TRACE(std::string("flags '") + c.content + "'");
    const std::string arm = c.arm;
    ClearRecord();
    unlink((queue_ + "/vprintvpxx.log").c_str());
    SetFlags(c.content);
    std::vector<std::string> args = arm == "AIX"     ? kAixArgs
                                    : arm == "LPRng" ? LprngArgs(lspool)
                                    : arm == "BSD"   ? std::vector<std::string>{"-w132", "-l66"}
                                                     : kV5Args;
    ASSERT_EQ(Run(link, args, queue_, {"PRINTER=cq"}), 0);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    auto env = Env();
    if (arm == "AIX") {
      EXPECT_EQ(calls[0], app_ + "/AixInterface x y");
      EXPECT_EQ(Cwd(), app_);
    } else if (arm == "BSD") {
      EXPECT_EQ(calls[0], tool + " -dpq -f");
      EXPECT_EQ(Cwd(), queue_);
      EXPECT_EQ(ReadFile(queue_ + "/vprintvpxx.log"), "output of vprvpxxtty\n");
    } else if (arm == "LPRng") {
      EXPECT_EQ(calls[0],
                tool + " -dq1 -f -oopt1 -oopt2 " + lspool + "/file1 " + lspool + "/file2");
      EXPECT_EQ(Cwd(), app_);
      EXPECT_EQ(env["VPrintFileSourceDir"], queue_);
      EXPECT_EQ(env["VPrintUser_name"], "user");
      EXPECT_EQ(env["VPrintHost_name"], "host");
    } else {
      const bool v5 = arm == "V5";
      EXPECT_EQ(calls[0], tool + (v5 ? " -dlp1" : " -dcq") + " -i /data/f1 /data/f2");
      EXPECT_EQ(Cwd(), app_);
      EXPECT_EQ(env["PATH"], "/usr/sbin:/usr/bin");
      EXPECT_EQ(env["VPrintPrinter"], v5 ? "lp1" : "cq");
      EXPECT_EQ(env["VPrintRequest_id"], "42");
      EXPECT_EQ(env["VPrintUser_name"], "alice@host");
      EXPECT_EQ(env["VPrintTitle"], v5 ? "Report " : "Report ###x");
      EXPECT_EQ(env["VPrintCopies"], "2");
      EXPECT_EQ(env["VPrintOption_list"], "a=1 b=2");
    }
    if (arm != "BSD") {
      EXPECT_FALSE(fs::exists(queue_ + "/vprintvpxx.log"));
    }
  }

  /* No flag file at all: V5. A title keeps its backslashes. */
  unlink((app_ + "/.vp_cfg").c_str());
  ClearRecord();
  ASSERT_EQ(Run(link, {"7", "bob", "C:\\new\\cat ###9", "1", "", "/data/f"}, queue_), 0);
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0], tool + " -dlp1 -i /data/f");
  EXPECT_EQ(Env()["VPrintTitle"], "C:\\new\\cat ");
}

TEST_F(ScriptsTest, V4DriverScriptRunsTheDriverForEachSubsystem) {
  const std::string script = app_ + "/v4DriverScript";
  ASSERT_EQ(generatev4v5DriverScript(script.c_str(), ScriptShShell, pv4DriverScript), 1);
  FakeTool("driver");
  const std::string link = PrinterLink(script, "lp1");
  const std::string lspool = dir_ + "/lspool";
  const std::string tool = app_ + "/driver";

  for (const FlagCase &c : kFlagCases) {
    SCOPED_TRACE(std::string("flags '") + c.content + "'");
    const std::string arm = c.arm;
    ClearRecord();
    SetFlags(c.content);
    std::vector<std::string> args = DriverArgs(arm, lspool);
    ASSERT_EQ(Run(link, args, queue_, {"PRINTER=cq"}), 0);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    auto env = Env();
    const bool modules = arm != "LPRng" && arm != "BSD";
    EXPECT_EQ(env.count("PANGO_RC_FILE"), modules ? 1u : 0u);
    if (modules) {
      EXPECT_EQ(env["PANGO_RC_FILE"], app_ + "/lib/gtk/modules/etc/pango/pangorc");
      EXPECT_EQ(env["GTK_IM_MODULE_FILE"], app_ + "/lib/gtk/modules/etc/gtk-2.0/gtk.immodules");
      EXPECT_EQ(env["GDK_PIXBUF_MODULE_FILE"],
                app_ + "/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders");
    }
    if (arm == "AIX") {
      EXPECT_EQ(calls[0], tool + " -f AIX x y");
    } else if (arm == "LPRng" || arm == "BSD") {
      EXPECT_EQ(calls[0], tool + " -dq1 -oopt1 -oopt2 " + lspool + "/file1 " + lspool + "/file2");
      EXPECT_EQ(env["VPrintFileSourceDir"], queue_);
      EXPECT_EQ(env["UserName"], "-u user");
    } else if (arm == "V5") {
      EXPECT_EQ(calls[0], tool +
                              " -dlp1 -oCopies=2 -ualice -t Report -t -oa=1 -ob=2 /data/f1 "
                              "/data/f2");
      EXPECT_EQ(env["PATH"], "/usr/sbin:/usr/bin:/bin");
      EXPECT_EQ(env["VPrintRequest_id"], "-o JobID=42");
      EXPECT_EQ(env["DISPLAY"], ":0.0");
    } else {
      EXPECT_EQ(calls[0], tool +
                              " -dcq -oCopies=2 -u alice@host -t Report ###x -o a=1 -o b=2 "
                              "/data/f1 /data/f2");
      EXPECT_EQ(env["PATH"], "/usr/sbin:/usr/bin:/bin");
      EXPECT_EQ(env["RequestID"], "-o JobID=42");
      EXPECT_EQ(env["DISPLAY"], ":0.0");
    }
  }

  /* V5 without options, with a display of the user's. */
  SetFlags(" V5 ");
  ClearRecord();
  ASSERT_EQ(Run(link, {"43", "carol", "Plain", "1", "", "/data/g"}, queue_, {"DISPLAY=ws:1"}), 0);
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0], tool + " -dlp1 -oCopies=1 -ucarol -t Plain /data/g");
  EXPECT_EQ(Env()["DISPLAY"], "ws:1");

  /* CUPS: double quotes go, backslashes stay; no options, no "-o". */
  SetFlags(" CUPS ");
  ClearRecord();
  ASSERT_EQ(Run(script, {"44", "\"dave\"", "\"My \\c Title\"", "3", "", "/data/h"}, queue_,
                {"PRINTER=cq"}),
            0);
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0], tool + " -dcq -oCopies=3 -u dave -t My \\c Title /data/h");

  ClearRecord();
  ASSERT_EQ(Run(script, {"45", "eve", "T", "1", "media=\"A4\" sides=two", "/data/i"}, queue_,
                {"PRINTER=cq"}),
            0);
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0], tool + " -dcq -oCopies=1 -u eve -t T -o media=A4 -o sides=two /data/i");
}

TEST_F(ScriptsTest, V5DriverScriptRunsTheV5DriverAndHasNoLprngArm) {
  const std::string script = app_ + "/v5DriverScript";
  ASSERT_EQ(generatev4v5DriverScript(script.c_str(), ScriptShShell, pv5DriverScript), 1);
  FakeTool("v5driver");
  FakeTool("driver");
  const std::string link = PrinterLink(script, "lp1");
  const std::string lspool = dir_ + "/lspool";
  const std::string tool = app_ + "/v5driver";

  for (const FlagCase &c : kFlagCases) {
    SCOPED_TRACE(std::string("flags '") + c.content + "'");
    const std::string arm = c.arm;
    ClearRecord();
    SetFlags(c.content);
    std::vector<std::string> args = DriverArgs(arm, lspool);
    ASSERT_EQ(Run(link, args, queue_, {"PRINTER=cq"}), 0);
    std::vector<std::string> calls = Calls();
    if (arm == "LPRng" || arm == "BSD") {
      EXPECT_TRUE(calls.empty()) << calls.front(); /* no arm: nothing runs */
      continue;
    }
    ASSERT_EQ(calls.size(), 1u);
    auto env = Env();
    EXPECT_EQ(env.count("PANGO_RC_FILE"), 0u);
    EXPECT_EQ(env.count("GTK_IM_MODULE_FILE"), 0u);
    EXPECT_EQ(env.count("GDK_PIXBUF_MODULE_FILE"), 0u);
    if (arm == "AIX") {
      EXPECT_EQ(calls[0], tool + " -f AIX x y");
    } else if (arm == "V5") {
      EXPECT_EQ(calls[0], tool +
                              " -dlp1 -oCopies=2 -ualice -t Report -t -oa=1 -ob=2 /data/f1 "
                              "/data/f2");
      EXPECT_EQ(env["DISPLAY"], ":0.0");
    } else {
      EXPECT_EQ(calls[0], tool +
                              " -dcq -oCopies=2 -u alice@host -t Report ###x -o a=1 -o b=2 "
                              "/data/f1 /data/f2");
    }
  }
}

TEST_F(ScriptsTest, FilterScriptRunsTheFilterForEachSubsystem) {
  const std::string script = app_ + "/OrvelVSF";
  ASSERT_EQ(generateOrvelVSFScript(script.c_str(), ScriptShShell, OrvelVSFScript, vspool_.c_str()),
            1);
  /* The fake filter also keeps the content of every file it is given. */
  FakeTool("vsf", "for f; do [ -f \"$f\" ] && cat \"$f\" >> " + rec_ + "/data; done\nexit 0\n");
  const std::string link = PrinterLink(script, "lp1");
  const std::string lspool = dir_ + "/lspool";
  fs::create_directories(lspool);
  const std::string tool = app_ + "/vsf";
  const std::vector<std::string> lprngArgs{"-Apr",   "-Pq1",   "-d" + lspool, "-f(stdin)",
                                           "-nuser", "-hhost", "-Jjob",       "-w80"};

  for (const FlagCase &c : kFlagCases) {
    SCOPED_TRACE(std::string("flags '") + c.content + "'");
    const std::string arm = c.arm;
    ClearRecord();
    SetFlags(c.content);
    std::vector<std::string> args = arm == "AIX"     ? kAixArgs
                                    : arm == "LPRng" ? lprngArgs
                                    : arm == "BSD"   ? std::vector<std::string>{"-w132", "-l66"}
                                                     : kV5Args;
    ASSERT_EQ(Run(link, args, queue_, {"PRINTER=cq"}, "job text\n"), 0);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    auto env = Env();
    if (arm == "AIX") {
      EXPECT_EQ(calls[0], tool + " x y");
      EXPECT_EQ(Cwd(), app_);
    } else if (arm == "BSD" || arm == "LPRng") {
      /* The job from standard input went through a file named after the printer. */
      const std::string prefix =
          tool + " " + (arm == "BSD" ? vspool_ + "/pq/pq." : lspool + "/pq.");
      ASSERT_EQ(calls[0].rfind(prefix, 0), 0u) << calls[0];
      std::string pid = calls[0].substr(prefix.size());
      EXPECT_FALSE(pid.empty());
      EXPECT_EQ(pid.find_first_not_of("0123456789"), std::string::npos) << pid;
      EXPECT_EQ(ReadFile(rec_ + "/data"), "job text\n");
      EXPECT_FALSE(fs::exists(calls[0].substr(tool.size() + 1))); /* removed after filtering */
    } else {
      const bool v5 = arm == "V5";
      EXPECT_EQ(calls[0], tool + " /data/f1 /data/f2");
      EXPECT_EQ(Cwd(), app_);
      EXPECT_EQ(env["VPrintPrinter"], v5 ? "lp1" : "cq");
      EXPECT_EQ(env["VPrintTitle"], v5 ? "Report " : "Report ###x");
      EXPECT_EQ(env["VPrintRequest_id"], "42");
    }
  }
  EXPECT_TRUE(fs::is_empty(vspool_ + "/pq"));

  /* LPRng with a named file: filtered as it is and left in place. */
  SetFlags(" LPRng ");
  ClearRecord();
  const std::string doc = dir_ + "/doc.txt";
  WriteFile(doc, "document\n");
  ASSERT_EQ(Run(script, {"-Pq1", "-d" + lspool, "-f" + doc, "-nuser"}, queue_), 0);
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0], tool + " " + doc);
  EXPECT_EQ(ReadFile(rec_ + "/data"), "document\n");
  EXPECT_TRUE(fs::exists(doc));

  /* The filter is run again until it succeeds. */
  FakeTool("vsf", "n=`cat " + rec_ + "/count 2>/dev/null`\nn=$((n + 1))\necho $n > " + rec_ +
                      "/count\n[ $n -ge 3 ]\n");
  for (const char *flags : {" V5 ", " AIX ", " CUPS ", " BSD ", " LPRng "}) {
    SCOPED_TRACE(flags);
    SetFlags(flags);
    ClearRecord();
    std::vector<std::string> args = std::string(flags) == " AIX "     ? kAixArgs
                                    : std::string(flags) == " LPRng " ? lprngArgs
                                                                      : kV5Args;
    ASSERT_EQ(Run(link, args, queue_, {"PRINTER=cq"}, "job\n"), 0);
    std::vector<std::string> calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], calls[2]);
  }
}

TEST_F(ScriptsTest, LauncherRunsTheProgramFromTheApplicationDirectory) {
  const std::string launcher = dir_ + "/vlaunch";
  GenSimpleScript(launcher.c_str(), ScriptShShell, SimpleScript, pAppDir, pAppDir, "vtool");
  FakeTool("vtool");
  const std::string work = dir_ + "/work";
  fs::create_directories(work);
  ASSERT_EQ(Run(launcher, {"-a", "b c"}, work), 0);
  ASSERT_EQ(Calls().size(), 1u);
  EXPECT_EQ(Calls()[0], app_ + "/vtool -a b c");
  EXPECT_EQ(Cwd(), app_);
  EXPECT_EQ(Env()["VPrintFileSourceDir"], work);
}

/* What stands where a launcher goes decides: nothing, or a launcher of an earlier run (of
 * another year), gets the new launcher through a rename; a link, a directory or a program
 * that is not this product's is left as it was, with a warning, and no new file is left. */
TEST_F(ScriptsTest, LauncherReplacesOnlyAnEarlierLauncher) {
  const std::string victim = dir_ + "/victim", earlier = std::string(ScriptShShell) + "\n" +
                                                         std::string(ScriptBanner).substr(0, 300);
  const struct {
    const char *name;
    std::string before;  /* "" nothing, "->X" a link to X, "/" a directory, else the text */
    const char *warning; /* null: replaced */
  } cases[] = {
      {"new", "", nullptr},
      {"earlier", earlier, nullptr},
      {"link", "->" + victim, "is a symbolic link"},
      {"dangling", "->" + dir_ + "/nowhere", "is a symbolic link"},
      {"dir", "/", "is not a regular file"},
      {"system", "#!/bin/sh\necho system program\n", "was not written by setup"},
      {"short", "#!/bin/sh\n", "was not written by setup"},
  };
  WriteFile(victim, "precious\n");
  flUseLog = 1;
  umask(077);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_ + "/launch/" + c.name;
    fs::create_directories(dir_ + "/launch");
    if (c.before.rfind("->", 0) == 0)
      fs::create_symlink(c.before.substr(2), path);
    else if (c.before == "/")
      fs::create_directory(path);
    else if (!c.before.empty())
      WriteFile(path, c.before);
    testing::internal::CaptureStderr();
    const char *got =
        GenSimpleScript(path.c_str(), ScriptShShell, SimpleScript, pAppDir, pAppDir, "vtool");
    const std::string err = testing::internal::GetCapturedStderr();
    if (c.warning == nullptr) {
      EXPECT_EQ(got, path.c_str());
      EXPECT_EQ(err, "");
      EXPECT_NE(ReadFile(path).find("exec " + app_ + "/vtool $*"), std::string::npos);
      EXPECT_EQ(Mode(path), 0755);
    } else {
      EXPECT_EQ(got, nullptr);
      EXPECT_EQ(err,
                "WARNING: " + path + " " + c.warning + ": left alone, no launcher written there\n");
      EXPECT_NE(ReadFile("/tmp/" + name_ + ".log").find("WARNING_MSG: " + path), std::string::npos);
    }
    fs::remove_all(dir_ + "/launch/" + c.name);
    EXPECT_TRUE(fs::is_empty(dir_ + "/launch")); /* no new file left behind */
  }
  umask(022);
  flUseLog = 0;
  EXPECT_EQ(ReadFile(victim), "precious\n");
}

TEST_F(ScriptsTest, FlagFileNamesThePrintSubsystem) {
  const std::string flag = app_ + "/.vp_cfg";
  const std::string noCups =
      "echo '  PID TTY          TIME CMD'\n"
      "echo '    1 ?        00:00:01 init'\n"
      "echo '  640 ?        00:00:00 xcupsd'\n"
      "echo '  641 ?        00:00:00 cups-browsed'\n";
  const std::string withCups = noCups + "echo '  812 ?        00:00:00 cupsd'\n";
  WriteExec(bin_ + "/ps", noCups);

  /* No lpd: V5. (Should the host have an lpd, one that is not LPRng stands in.) */
  if (TestCmd(CMD_LPD)) WriteExec(bin_ + "/lpd", "echo 'lpd 1.0'\n");
  ResetProbes();
  umask(077);
  createPrintingSubsystemFile(pAppDir);
  umask(022);
  EXPECT_EQ(ReadFile(flag), " V5 ");
  EXPECT_EQ(Mode(flag), 0644);

  /* An lpd that is not LPRng: still V5. */
  WriteExec(bin_ + "/lpd", "[ \"$1\" = -V ] && echo 'lpd 4.2 (BSD)'\nexit 0\n");
  ResetProbes();
  createPrintingSubsystemFile(pAppDir);
  EXPECT_EQ(ReadFile(flag), " V5 ");

  /* LPRng answers to -V with its name. */
  WriteExec(bin_ + "/lpd", "[ \"$1\" = -V ] && echo 'lpd: LPRng-3.8.28'\nexit 0\n");
  ResetProbes();
  createPrintingSubsystemFile(pAppDir);
  EXPECT_EQ(ReadFile(flag), " LPRng ");
  EXPECT_EQ(Mode(flag), 0644);

  /* cupsd running, with LPRng present too: CUPS wins. */
  WriteExec(bin_ + "/ps", withCups);
  ResetProbes();
  createPrintingSubsystemFile(pAppDir);
  EXPECT_EQ(ReadFile(flag), " CUPS ");

  /* cupsd alone. */
  unlink((bin_ + "/lpd").c_str());
  ResetProbes();
  if (!TestCmd(CMD_LPD)) {
    createPrintingSubsystemFile(pAppDir);
    EXPECT_EQ(ReadFile(flag), " CUPS ");
  }

  /* Every run rewrites the whole file. */
  WriteExec(bin_ + "/ps", noCups);
  WriteExec(bin_ + "/lpd", "exit 0\n");
  ResetProbes();
  createPrintingSubsystemFile(pAppDir);
  EXPECT_EQ(ReadFile(flag), " V5 ");

  /* A directory that cannot hold the file: reported, and the run goes on. */
  const std::string missing = dir_ + "/missing";
  testing::internal::CaptureStderr();
  createPrintingSubsystemFile(missing.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: couldn't open " + missing + "/.vp_cfg\n");
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(ScriptsTest, QueueScriptsAreWrittenIntoTheApplicationDirectory) {
  /* Not LPRng, so no link is made outside the test's directory. */
  WriteExec(bin_ + "/lpd", "echo 'lpd 4.2 (BSD)'\n");
  ResetProbes();
  const std::string spoolBase = dir_ + "/spool";
  createQueueScripts(spoolBase.c_str());
  for (const char *name : {"OrvelPrintvpxx", "v4DriverScript", "v5DriverScript", "OrvelVSF"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Mode(app_ + "/" + name), 0755);
  }
  EXPECT_NE(ReadFile(app_ + "/OrvelVSF").find("\nSpoolDir=\"" + spoolBase + "/vpxx\"\n"),
            std::string::npos);
  EXPECT_NE(ReadFile(app_ + "/v4DriverScript").find("${ToolPath}/driver "), std::string::npos);
  EXPECT_NE(ReadFile(app_ + "/v5DriverScript").find("${ToolPath}/v5driver "), std::string::npos);
  EXPECT_NE(ReadFile(app_ + "/OrvelPrintvpxx").find("${ToolPath}/vprvpxxtty "), std::string::npos);

  /* A script that cannot be opened is skipped; the others are rewritten. */
  for (const char *name : {"OrvelPrintvpxx", "v5DriverScript", "OrvelVSF"})
    WriteFile(app_ + "/" + name, "old\n");
  fs::remove(app_ + "/v4DriverScript");
  fs::create_directories(app_ + "/v4DriverScript");
  testing::internal::CaptureStderr();
  createQueueScripts(spoolBase.c_str());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("v4DriverScript"), std::string::npos) << err;
  EXPECT_TRUE(fs::is_directory(app_ + "/v4DriverScript"));
  for (const char *name : {"OrvelPrintvpxx", "v5DriverScript", "OrvelVSF"})
    EXPECT_EQ(ReadFile(app_ + "/" + name).rfind("#!/bin/sh\n", 0), 0u) << name;
}

TEST_F(ScriptsTest, GeneratorsAnswerZeroWhenTheFileCannotBeOpened) {
  const std::string path = dir_ + "/missing/script";
  testing::internal::CaptureStderr();
  EXPECT_EQ(generateOrvelPrintvpxxScript(path.c_str(), ScriptShShell, OrvelPrintvpxxScript), 0);
  EXPECT_EQ(generatev4v5DriverScript(path.c_str(), ScriptShShell, pv4DriverScript), 0);
  EXPECT_EQ(generatev4v5DriverScript(path.c_str(), ScriptShShell, pv5DriverScript), 0);
  EXPECT_EQ(generateOrvelVSFScript(path.c_str(), ScriptShShell, OrvelVSFScript, "/s"), 0);
  EXPECT_EQ(GenSimpleScript(path.c_str(), ScriptShShell, SimpleScript, "/a", "/a", "x"), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(path), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir_ + "/missing"));

  /* A file that cannot take the whole text (a file size limit of 100 bytes): reported,
   * answered 0 and not made executable. */
  const std::string cut = dir_ + "/cut";
  EXPECT_EXIT(WriteUnderSizeLimit(cut), ::testing::ExitedWithCode(0),
              "ERROR: couldn't write " + cut);
}

TEST_F(ScriptsTest, ApplicationDirectoryUnderTheDefaultBase) {
  const std::string app = dir_ + "/inst/Orvel/vpxx";
  pAppDir = const_cast<char *>(app.c_str());
  const bool optMakerBefore = fs::exists("/opt/Orvel");
  createInstallationDirectories("/opt");
  EXPECT_TRUE(fs::is_directory(app));
  EXPECT_EQ(Mode(app), 0755);
  /* Under the default base nothing is made in /opt itself. */
  EXPECT_EQ(fs::exists("/opt/Orvel"), optMakerBefore);
}

}  // namespace

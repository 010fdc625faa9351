// What every output does to the file it replaces, met the way a user meets
// it: it is synced to the disk under its own name before it takes the
// target's name, and its folder after, it keeps the owner, group and mode
// of the file it replaces (a new one gets what the umask gives), and a
// read-only document is neither imported over nor saved over.  Once
// renamed it is written, also when the folder's sync then fails (a WARNING
// names the folder); the file it is made as is no wider than the file it
// replaces; and a file another run renames over a saved document after the
// save's rename is kept by the next save.  strace is
// the witness of the syncs: the name that was renamed over the target was
// synced while it was still that file's name, and the folder after.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/win/leftovers.h"
#include "tests/common/run_command.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

const char kExtended[] =
    "[Options]\nextendedInterface = True\naddMenuItemExportCoords = True\naddMenuItemExportKrm = True\n";

unsigned Mode(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000000;
}

// What the trace shows around the file renamed last over `target`, in
// order: "r" that rename, "s" a sync under the name it was renamed from,
// "c" a look at the target, "f" a sync of the target's folder; *created,
// the mode that file was made with (before the umask).
std::string Order(const std::string& trace, const fs::path& target, unsigned* created) {
  const std::regex rename("(rename|renameat2?)\\((?:AT_FDCWD[^,]*, )?\"([^\"]+)\", (?:AT_FDCWD[^,]*, )?\"" +
                          std::regex_replace(target.string(), std::regex("[.^$|()\\[\\]{}*+?\\\\]"), "\\$&") +
                          "\".*\\) = 0");
  const std::vector<std::string> lines = SplitLines(trace);
  std::size_t i = lines.size();
  std::smatch found;
  while (i-- > 0 && !std::regex_search(lines[i], found, rename)) {
  }
  std::string order;
  for (std::size_t j = 0; j < lines.size() && i < lines.size(); ++j) {
    const auto has = [&](const std::string& part) { return lines[j].find(part) != std::string::npos; };
    if (j == i) order += 'r';
    if (has("fsync(") && has("<" + found[2].str() + ">) = 0")) order += 's';
    if (has("fsync(") && has("<" + target.parent_path().string() + ">) = 0")) order += 'f';
    if (has("stat") && has("\"" + target.string() + "\"")) order += 'c';
    if (*created == 0 && has("openat(") && has("\"" + found[2].str() + "\", ") && has("O_CREAT"))
      *created = static_cast<unsigned>(std::stoul(lines[j].substr(lines[j].rfind(", 0") + 2), nullptr, 8));
  }
  return order;
}

struct Output {
  const char* name;
  // The target's file name and what is at it before the run.
  const char* file;
  std::function<std::string(const fs::path& root)> earlier;
  std::function<std::vector<std::string>(const fs::path& target)> commands;
  const char* done;  // the last dialog of a run that succeeded; "" for none
  bool refusesReadOnly = false;
  // What is written beside the target ("" for nothing).
  const char* beside = "";
  // Only over a file that exists (the host saves what it opened).
  bool overExisting = false;
  // The commands are a program of their own, not xthost's arguments.
  bool tool = false;
  // The host's save guard looks at the target after the sync.
  bool guarded = false;
};

std::vector<std::string> Menu(const char* item, const fs::path& target) {
  return {"--answer", target.string(), "start", "open", "doc.qxp", "menu", item};
}

std::string Earlier(const fs::path&) { return "the earlier output\n"; }
std::string EarlierDocument(const fs::path& root) { return ReadFile(root / "doc.qxp"); }

const std::vector<Output> kOutputs = {
    {"container", "out.kxq", Earlier, [](const fs::path& t) { return Menu("Export current document", t); },
     "Export done"},
    {"coordinates", "out.coo", Earlier, [](const fs::path& t) { return Menu("Export PDF coordinates", t); },
     "Export done"},
    {"XTags", "out.krm", Earlier, [](const fs::path& t) { return Menu("Export XTags", t); }, "Export done"},
    {"PDF", "out.pdf", Earlier,
     [](const fs::path& t) { return std::vector<std::string>{"start", "open", "doc.qxp", "pdf", t.string()}; }, "",
     false, "out.pdf_pdf.log"},
    {"imported document", "out.qxp", EarlierDocument,
     [](const fs::path& t) {
       return std::vector<std::string>{"--answer", (t.parent_path().parent_path() / "doc.kxq").string(), "--answer",
                                       t.string(), "--answer", "OK", "start", "menu", "Import Solvane file"};
     },
     "Import done", true},
    {"saved document", "out.qxp", EarlierDocument,
     [](const fs::path& t) { return std::vector<std::string>{"start", "open", t.string(), "save", "save"}; }, "",
     true, "", true, false, true},
    // The settings file, as the main job sets its keys.
    {"settings file", "brenix.ini", [](const fs::path&) { return std::string("[Server]\nserverMode = True\n"); },
     [](const fs::path& t) {
       return std::vector<std::string>{"/usr/bin/python3", std::string(BRENIX_TOP) + "/tools/ini_set.py", t.string(),
                                       "Server", "serverMode=False"};
     },
     "", false, "", false, true},
};

// Runs the output's commands under strace (its trace into `trace`); with
// `failSync`, every sync of the target's folder fails (EIO), and the
// trace holds only the calls on that folder; with `asNobody`, as user and
// group 65534.
HostRun Traced(const Output& output, const Installation& install, const fs::path& target, const fs::path& trace,
               bool failSync, bool asNobody) {
  // A leak check cannot run under a tracer: off for the traced run.
  std::vector<std::string> strace = {
      "/usr/bin/strace", "-f", "-qq", "-y", "-E", "ASAN_OPTIONS=detect_leaks=0", "-o", trace.string(), "-e",
      "signal=none", "-e", "trace=fsync,fdatasync,rename,renameat,renameat2,stat,lstat,newfstatat,statx,openat"};
  if (failSync) strace.insert(strace.end(), {"-P", target.parent_path().string(), "-e", "inject=fsync:error=EIO"});
  if (asNobody) strace.insert(strace.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  if (!output.tool) return RunHost(install, output.commands(target), {}, strace);
  std::string command;
  for (const std::string& word : strace) command += testutil::ShellQuote(word) + " ";
  for (const std::string& word : output.commands(target)) command += testutil::ShellQuote(word) + " ";
  HostRun run;
  run.errors = testutil::RunCommand(command, &run.status, true);
  return run;
}

struct Before {
  const char* name;
  bool exists;
  unsigned mode;  // of the earlier file; for a new one, what the umask 027 gives
  bool others = false;  // owned by user and group 65534 (nobody:nogroup; only a test run as root)
  bool folderSyncFails = false;  // the folder's sync after the rename fails (EIO)
  bool byNobody = false;  // owned by root:65534, written by user 65534 (only a test run as root)
  // Another run renames a file over the saved document while its save waits
  // at the folder's sync (the host's saves only).
  bool replacedAfterRename = false;
  unsigned group = 65534;  // the earlier file's group, with byNobody
};
const std::vector<Before> kBefore = {
    {"0600", true, 0600}, {"0444", true, 0444}, {"a new file", false, 0640}, {"another's 0640", true, 0640, true},
    {"0640 in a folder whose sync fails", true, 0640, false, true},
    {"root's 0660 written by nobody", true, 0660, false, false, true},
    {"root's 0644 written by nobody", true, 0644, false, false, true},
    {"0640 replaced after the save's rename", true, 0640, false, false, false, true},
    {"root's 0640 of group root written by nobody", true, 0640, false, false, true, false, 0}};

// "owner:group" of the file at `path`.
std::string Owner(const fs::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid);
}

TEST(OutputFiles, EachOutputIsSyncedThenRenamedAndKeepsTheOwnerAndModeOfTheFileItReplaces) {
  const std::string document = ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_pdf.json");
  for (const Output& output : kOutputs) {
    for (const Before& before : kBefore) {
      if (output.overExisting && !before.exists) continue;
      if (before.replacedAfterRename && !output.guarded) continue;
      if (before.group == 0 && (output.refusesReadOnly || output.tool)) continue;  // its writer may not read it
      SCOPED_TRACE(std::string(output.name) + " over " + before.name);
      Installation install(kExtended);
      WriteFile(install.root() / "doc.qxp", document);
      if (output.refusesReadOnly) {
        ASSERT_EQ(RunHost(install, Menu("Export current document", install.root() / "doc.kxq")).status, 0);
      }
      const fs::path folder = install.root() / "out";
      fs::create_directory(folder);
      const fs::path target = folder / output.file;
      const std::string earlier = output.earlier(install.root());
      if (before.exists) {
        WriteFile(target, earlier);
        fs::permissions(target, static_cast<fs::perms>(before.mode));
      }
      // Only a test run as root may give files away (told at the end).
      if (before.others && ::chown(target.c_str(), 65534, 65534) != 0) continue;
      if (before.byNobody && std::system(("chown -hR 65534:65534 " + testutil::ShellQuote(install.root().string()) +
                                          " && chown 0:" + std::to_string(before.group) + " " +
                                          testutil::ShellQuote(target.string())).c_str()) != 0) {
        continue;
      }
      const bool notWritable = before.byNobody && (before.mode & 020) == 0;
      const bool refused = output.refusesReadOnly && (before.mode == 0444 || notWritable);
      // The writer's, where it may not give the earlier file's owner.
      const std::string owner = Owner(before.exists && (!before.byNobody || refused) ? target : folder);
      if (before.replacedAfterRename) {
        // The host stays our child (the tracer detached), stopped where
        // its save syncs the folder.
        const pid_t host = StartHost(install, output.commands(target), {},
                                     {"/usr/bin/strace", "-D", "-f", "-E", "ASAN_OPTIONS=detect_leaks=0", "-o",
                                      "/dev/null", "-P", folder.string(), "-e", "inject=fsync:signal=SIGSTOP:when=1"});
        int status = 0;
        ASSERT_TRUE(::waitpid(host, &status, WUNTRACED) == host && WIFSTOPPED(status));
        WriteFile(folder / "other", "another run's file\n");
        EXPECT_EQ(::rename((folder / "other").c_str(), target.c_str()), 0);
        ::kill(host, SIGCONT);
        const HostRun run = FinishHost(install, host);
        EXPECT_EQ(ReadFile(target), "another run's file\n");
        EXPECT_NE(run.errors.find("another file was put at the document's name"), std::string::npos) << run.errors;
        continue;
      }
      const fs::path trace = install.root() / "trace.txt";
      const mode_t mask = ::umask(027);
      const HostRun run = Traced(output, install, target, trace, before.folderSyncFails, before.byNobody);
      ::umask(mask);
      EXPECT_TRUE(run.errors.find("Sanitizer") == std::string::npos) << run.errors;
      const unsigned mode = before.byNobody && before.group != 65534 && !refused ? before.mode & 0707 : before.mode;
      EXPECT_EQ(Mode(target), mode);
      EXPECT_EQ(Owner(target), owner);
      if (refused) {
        EXPECT_EQ(ReadFile(target), earlier);
        if (*output.done != '\0') { EXPECT_NE(LastDialog(run), std::string(output.done)); }
        std::string said = run.log + run.errors;
        for (const std::string& line : run.transcript) said += line + "\n";
        EXPECT_NE(said.find(notWritable ? "not writable by this user" : "read-only"), std::string::npos) << said;
      } else {
        if (*output.done != '\0') { EXPECT_EQ(LastDialog(run), std::string(output.done)); }
        EXPECT_EQ(run.status, 0) << run.errors;
        const std::string warning =
            before.folderSyncFails ? "WARNING: the folder \"" + folder.string() + "\" was not synced after \"" +
                                         target.string() + "\" was written (Input/output error)"
            : before.byNobody ? "Warning: \"" + target.string() + "\" was replaced by a file of owner 65534 and group "
                                "65534, not those of the file it replaced (owner 0, group " +
                                    std::to_string(before.group) + ")"
                              : "";
        EXPECT_NE((run.log + run.errors).find(warning), std::string::npos) << run.log << run.errors;
        if (!before.folderSyncFails) {
          // Synced, (the guard's look,) renamed, the folder synced; made no
          // wider than the file it replaces (the group's bits for its group).
          unsigned created = 0;
          const std::regex order(std::string("s[^r]*") + (output.guarded ? "c[^rs]*" : "") + "r.*f");
          EXPECT_TRUE(std::regex_search(Order(ReadFile(trace), target, &created), order)) << ReadFile(trace);
          EXPECT_EQ(created, before.exists ? 0600 | (mode & (before.others ? 07 : 077)) : 0666);
        }
      }
      std::set<std::string> left = {output.file};
      if (*output.beside != '\0' && !refused) left.insert(output.beside);
      EXPECT_EQ(testutil::Entries(folder.string()), left);
    }
  }
  if (::geteuid() != 0) GTEST_SKIP() << "the rows of files of other owners ran only as root";
}

// A process id that no process has any more.
pid_t DeadPid() {
  const pid_t pid = ::fork();
  if (pid == 0) _exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

// What killed runs left beside a target, and what the next output there
// does with those last written long before, whatever their process: it
// removes the empty or zeroed ones and unfinished outputs of its own kind
// (also one shorter than the bytes that tell a kind, when its bytes are
// their start; a staged PDF under the name the host gave it), PDF logs and
// working documents, and keeps (and names in the log) the rest: those
// written lately (also by a live run in another pid namespace) or held
// locked, those of another kind, a document an import set aside, or the
// start of one, and a user's file under such a name.
TEST(OutputFiles, AnOutputSweepsOnlyTheDeadLeftoversOfItsOwnKindAndNamesAKeptDocument) {
  const std::string document = ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_pdf.json");
  // A document as the host saves it, the container an import reads and a
  // PDF the host made.
  Installation made(kExtended);
  WriteFile(made.root() / "doc.qxp", document);
  ASSERT_EQ(LastDialog(RunHost(made, Menu("Export current document", made.root() / "doc.kxq"))), "Export done");
  ASSERT_EQ(RunHost(made, {"start", "open", "doc.qxp", "pdf", (made.root() / "made.pdf").string()}).status, 0);
  const std::string saved = ReadFile(made.root() / "doc.qxp");
  const std::string compound("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0\0\0\0\0partial", 23);
  const std::string coordinates =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!--\n" + std::string(80, '-') + "\npartial";
  const std::string dead = std::to_string(DeadPid());
  const std::string elsewhere = std::to_string(DeadPid());
  const std::string log = ReadFile(made.root() / "made.pdf_pdf.log");
  // The sweeping outputs: the container, the coordinates, a PDF, an
  // imported document.
  const std::vector<const Output*> sweeps = {&kOutputs[0], &kOutputs[1], &kOutputs[3], &kOutputs[4]};
  struct Leftover {
    const char* what;
    std::string name;
    std::string bytes;
    bool locked;
    std::vector<bool> removed;  // by each of the sweeps
    bool lately = false;        // else written long before the sweep
  };
  const std::vector<Leftover> leftovers = {
      {"a placeholder", ".~" + dead + "-1", "", false, {true, true, true, true}},
      {"an unfinished container", ".~" + dead + "-2", compound, false, {true, false, false, false}},
      {"an unfinished container held locked", ".~" + dead + "-4", compound, true, {false, false, false, false}},
      {"a document set aside", ".~" + dead + "-5", saved, false, {false, false, false, false}},
      {"unfinished coordinates", ".~" + dead + "-6", coordinates, false, {false, true, false, false}},
      {"a file of the user's", "~" + dead + "-7", compound, false, {false, false, false, false}},
      {"a PDF cut short", ".~" + dead + "-8", ReadFile(made.root() / "made.pdf").substr(0, 15), false,
       {false, false, true, false}},
      {"the start of a document set aside", ".~" + dead + "-9", saved.substr(0, 10), false,
       {false, false, false, false}},
      // What the host adds to a staged PDF's name, and its log beside it.
      {"a staged PDF cut short", ".~" + dead + "-10.pdf", ReadFile(made.root() / "made.pdf").substr(0, 40), false,
       {false, false, true, false}},
      {"a staged PDF's log", ".~" + dead + "-11_pdf.log", log, false, {true, true, true, true}},
      {"a staged PDF's log before it took its name", ".~" + dead + "-13", log, false, {true, true, true, true}},
      {"a user's file named as a log", ".~" + dead + "-14_pdf.log", "text", false, {false, false, false, false}},
      {"zeros", ".~" + dead + "-15", std::string(1536, '\0'), false, {true, true, true, true}},
      // The import's own file or the stored copy of a killed run.
      {"a working document", ".~" + dead + "-12.workdoc", saved, false, {true, true, true, true}},
      {"a user's file named so", ".~" + dead + "-16.workdoc", "my own diary", false, {false, false, false, false}},
      // A run in a container is process 1 there at every start.
      {"a staged PDF of a process 1", ".~1-17.pdf", ReadFile(made.root() / "made.pdf"), false,
       {false, false, true, false}},
      {"a staged PDF of a live run in another pid namespace", ".~" + elsewhere + "-18.pdf",
       ReadFile(made.root() / "made.pdf"), false, {false, false, false, false}, true},
  };
  bool namespaced = true;
  for (std::size_t s = 0; s < sweeps.size(); ++s) {
    const Output& sweep = *sweeps[s];
    SCOPED_TRACE(sweep.name);
    Installation install(kExtended);
    WriteFile(install.root() / "doc.qxp", document);
    fs::copy_file(made.root() / "doc.kxq", install.root() / "doc.kxq");
    const fs::path folder = install.root() / "out";
    fs::create_directory(folder);
    std::vector<int> locks;
    for (const Leftover& leftover : leftovers) {
      WriteFile(folder / leftover.name, leftover.bytes);
      const auto before = fs::file_time_type::clock::now() - std::chrono::seconds(win::kLeftoverSeconds + 60);
      if (!leftover.lately) fs::last_write_time(folder / leftover.name, before);
      if (leftover.locked) {
        locks.push_back(::open((folder / leftover.name).c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
      }
    }
    // The last row's file held open by a process numbered as its name says in a pid namespace of its own.
    const std::string held = testutil::ShellQuote((folder / leftovers.back().name).string());
    FILE* holder = ::popen(("unshare -pf --mount-proc sh -c 'exec 4<&0; echo $(($1 - 1)) >/proc/sys/kernel/ns_last_pid;"
                            " sh -c \"exec 3<\\\"\\$0\\\"; read x <&4; [ \\$\\$ = $1 ]\" \"$2\" & wait $!' sh " +
                            elsewhere + " " + held + " 2>/dev/null || { exec 3<" + held + "; read x; exit 4; }")
                               .c_str(), "w");
    const HostRun run = RunHost(install, sweep.commands(folder / sweep.file));
    namespaced = ::pclose(holder) == 0 && namespaced;
    EXPECT_EQ(run.status, 0) << run.errors;
    if (*sweep.done != '\0') { EXPECT_EQ(LastDialog(run), sweep.done); }
    for (const Leftover& leftover : leftovers) {
      SCOPED_TRACE(leftover.what);
      EXPECT_EQ(fs::exists(folder / leftover.name), !leftover.removed[s]);
      if (!leftover.removed[s]) { EXPECT_EQ(ReadFile(folder / leftover.name), leftover.bytes); }
    }
    for (const char* kept : {"-5\"", "-16.workdoc\""})
      EXPECT_NE((run.log + run.errors).find("Kept \"" + (folder / (".~" + dead + kept)).string()), std::string::npos);
    for (int fd : locks) ::close(fd);
  }
  if (!namespaced) GTEST_SKIP() << "no second pid namespace: a process of this one held the live run's file";
}

}  // namespace

// xthost: the stand-in host program.
//
//   xthost [--xtensions DIR] [--transcript FILE] [--answer TEXT]... COMMAND...
//
// Commands, run in order:
//   start     load and activate every plug-in library of the XTensions folder
//   idle N    deliver N idle callbacks (fewer when a plug-in asks to quit)
//   serve     deliver an idle callback every 250 ms until a plug-in asks to quit
//   quit      deliver the shut-down callback and unload every plug-in
//   open PATH open a document file and make it the current document
//   save      save the current document to its file
//   close     close the current document without saving
//   stories   write the stories of the current document to the transcript
//   select STORY START END
//             select those units of a story of the current document
//   menus     open the menu bar: the items of every menu with their states
//   menu TITLE choose the menu item TITLE (update callback, then the command)
//   export-tags STORY PATH
//             write a story of the current document in the tag notation
//             (host/README.md) to PATH
// The host quits after the last command when no "quit" was given.
//
// Environment:
//   XTHOST_CLOCK  pins the host clock ("YYYY-MM-DD hh:mm:ss" or 14 digits)
//   XTHOST_FAIL   host calls to fail, NAME:N or NAME:* separated by commas
//                 (see host/fail_plan.h)
//   XTHOST_SIGTERM host calls before which the host sends itself SIGTERM,
//                 in the same form (a stop arriving at a known moment)
//   XTHOST_STOP   host calls at which the process stops itself (SIGSTOP),
//                 written as XTHOST_FAIL
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/doc_json.h"
#include "host/document_ops.h"
#include "host/host.h"
#include "host/layout_commands.h"
#include "host/pdf_commands.h"
#include "host/text_export.h"
#include "platform/win/file_notes.h"

namespace {

const char kUsage[] =
    "usage: xthost [--xtensions DIR] [--transcript FILE] [--answer TEXT]... COMMAND...\n"
    "commands: start | idle N | serve | quit | open PATH | save | close | stories |\n"
    "          select STORY START END | menus | menu TITLE | layout | view K |\n"
    "          layout-select I | type BOX POS TEXT | lines BOX | export-tags STORY PATH |\n"
    "          output-styles | import-output-styles PATH | pdf PATH\n"
    "environment: XTHOST_CLOCK=\"YYYY-MM-DD hh:mm:ss\", XTHOST_FAIL=NAME:N[,NAME:N...],\n"
    "             XTHOST_SIGTERM=NAME:N[,NAME:N...], XTHOST_STOP=NAME:N[,NAME:N...],\n"
    "             XTHOST_PDF_ADD_EXTENSION=1\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "xthost: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

struct Command {
  std::string name;
  int count = 0;
  std::string value;  // the path of "open"; "STORY START END" of "select"
};

// Whether `text` is a whole number that fits 32 bits.
bool IsNumber(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && errno == 0 && value >= INT32_MIN && value <= INT32_MAX;
}

}  // namespace

int main(int argc, char** argv) {
  xthost::HostOptions options;
  std::string transcript_path;
  std::vector<Command> commands;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--xtensions" || arg == "--transcript" || arg == "--answer") {
      if (!has_value) return Usage(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--xtensions") options.xtensions = value;
      if (arg == "--transcript") transcript_path = value;
      if (arg == "--answer") options.answers.push_back(value);
    } else if (arg == "start" || arg == "quit" || arg == "save" || arg == "close" ||
               arg == "stories" || arg == "serve") {
      commands.push_back({arg, 0, ""});
    } else if (arg == "menus" || arg == "layout" || arg == "output-styles") {
      commands.push_back({arg, 0, ""});
    } else if (arg == "import-output-styles" || arg == "pdf") {
      if (!has_value) return Usage(arg + " needs a path");
      commands.push_back({arg, 0, argv[++i]});
    } else if (arg == "view" || arg == "layout-select" || arg == "lines") {
      if (!has_value || !IsNumber(argv[i + 1])) return Usage(arg + " needs a number");
      commands.push_back({arg, 0, argv[++i]});
    } else if (arg == "type") {
      if (i + 3 >= argc || !IsNumber(argv[i + 1]) || !IsNumber(argv[i + 2])) {
        return Usage("type needs a box, a position and a text");
      }
      commands.push_back({arg, 0,
                          std::string(argv[i + 1]) + " " + argv[i + 2] + " " + argv[i + 3]});
      i += 3;
    } else if (arg == "export-tags") {
      if (i + 2 >= argc || !IsNumber(argv[i + 1])) return Usage("export-tags needs a story and a path");
      commands.push_back({arg, 0, std::string(argv[i + 1]) + " " + argv[i + 2]});
      i += 2;
    } else if (arg == "menu") {
      if (!has_value) return Usage("menu needs the title of a menu item");
      commands.push_back({arg, 0, argv[++i]});
    } else if (arg == "select") {
      if (i + 3 >= argc || !IsNumber(argv[i + 1]) || !IsNumber(argv[i + 2]) ||
          !IsNumber(argv[i + 3])) {
        return Usage("select needs a story and the start and end of the range");
      }
      commands.push_back({arg, 0,
                          std::string(argv[i + 1]) + " " + argv[i + 2] + " " + argv[i + 3]});
      i += 3;
    } else if (arg == "open") {
      if (!has_value) return Usage("open needs a path");
      commands.push_back({arg, 0, argv[++i]});
    } else if (arg == "idle") {
      char* end = nullptr;
      const long count = has_value ? std::strtol(argv[i + 1], &end, 10) : -1;
      if (!has_value || *end != '\0' || count < 0 || count > 1000000) {
        return Usage("idle needs a number of ticks from 0 to 1000000");
      }
      ++i;
      commands.push_back({arg, static_cast<int>(count), ""});
    } else {
      return Usage("unknown argument \"" + arg + "\"");
    }
  }
  // What the platform layer says of the host's own files (a leftover kept
  // beside a saved document, an owner a replaced file could not keep).
  win::SetFileNoteReporter([](const std::string& line) { std::fprintf(stderr, "xthost: %s\n", line.c_str()); });
  if (const char* clock = std::getenv("XTHOST_CLOCK")) {
    xthost::HostTime time;
    if (!xthost::Clock::Parse(clock, &time)) return Usage("XTHOST_CLOCK is not a time");
    options.clock = xthost::Clock(time);
  }
  // A lower document size limit, so that tests reach it with small files.
  if (const char* limit = std::getenv("XTHOST_MAX_DOCUMENT")) {
    char* end = nullptr;
    const unsigned long long bytes = std::strtoull(limit, &end, 10);
    if (*limit < '0' || *limit > '9' || *end != '\0' || bytes == 0 || bytes > xthost::kMaxDocumentFile) {
      return Usage("XTHOST_MAX_DOCUMENT is not a size from 1 to 67108864");
    }
    xthost::SetMaxDocumentFile(bytes);
  }
  // The plans of host calls that fail, send SIGTERM or stop the process.
  const std::pair<const char*, xthost::FailPlan*> plans[] = {
      {"XTHOST_FAIL", &options.fail}, {"XTHOST_SIGTERM", &options.sigterm}, {"XTHOST_STOP", &options.stop}};
  for (const auto& [variable, plan] : plans) {
    const char* text = std::getenv(variable);
    std::string problem;
    if (text != nullptr && !xthost::FailPlan::Parse(text, plan, &problem)) {
      return Usage(std::string(variable) + ": " + problem);
    }
  }
  std::ofstream transcript;
  if (!transcript_path.empty()) {
    transcript.open(transcript_path, std::ios::out | std::ios::trunc);
    if (!transcript) {
      std::fprintf(stderr, "xthost: cannot write %s: %s\n", transcript_path.c_str(),
                   std::strerror(errno));
      return 1;
    }
    options.transcript = &transcript;
  }

  xthost::Host host(std::move(options));
  for (const Command& command : commands) {
    if (command.name == "start") {
      if (!host.Start()) return 1;
    } else if (command.name == "idle") {
      host.Idle(command.count);
    } else if (command.name == "serve") {
      // Like a desktop host's idle timer: one idle callback per tick.
      host.transcript().Line("serve");
      for (int32_t tick = 1; !host.app().quit_requested; ++tick) {
        XTIdleRec record{kXTIdle, tick};
        host.Deliver(&record);
        if (!host.app().quit_requested) std::this_thread::sleep_for(std::chrono::milliseconds(250));
      }
      host.transcript().Line("serve stopped: quit requested");
    } else if (command.name == "quit") {
      host.Quit();
    } else if (command.name == "menus") {
      host.ui().ShowMenus();
    } else if (command.name == "menu") {
      host.ui().ChooseMenuItem(command.value);
    } else if (command.name == "export-tags") {
      if (!xthost::RunExportTagsCommand(host, command.value)) return 1;
    } else if (command.name == "layout" || command.name == "view" ||
               command.name == "layout-select" || command.name == "type" ||
               command.name == "lines") {
      if (!xthost::RunLayoutCommand(host, command.name, command.value)) return 1;
    } else if (command.name == "output-styles" || command.name == "import-output-styles" ||
               command.name == "pdf") {
      if (!xthost::RunPdfCommand(host, command.name, command.value)) return 1;
    } else if (!xthost::RunDocumentCommand(host, command.name, command.value)) {
      return 1;
    }
  }
  host.Quit();
  return 0;
}

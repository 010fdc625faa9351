// The conversion server stopped as a service manager stops it (SIGTERM),
// killed and started again, and flooded by a refused client: xthost serving
// in a folder of its own, driven by the Python client written from the
// protocol, which also sends the signal at its moment (or the host sends it
// to itself before a given host call, XTHOST_SIGTERM).  What the runs leave
// in the shared target folder and in the job folders' folder is looked at
// by the test afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "server_client_util.h"
#include "tests/common/child_process.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

// The cases' client side.  sys.argv: port, case, the server's process id,
// the run's folder (T: the shared target folder, tmp: the job folders'),
// the host document to export, a container of it.
const char kClient[] = R"PY(
import glob, json, os, shutil, signal, sys, time
case, pid, root, document, container = sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5], sys.argv[6]
target = os.path.join(root, 'T')

def stop(sig=signal.SIGTERM):
    global halted
    halted = True  # nobody left to halt
    os.kill(pid, sig)

def partial_upload(c, size):
    """A socket-mode export whose source stops short of its last block;
    answers whether the job's partial file got the bytes sent."""
    ask(c, 'exportkxt'); c.send_line(SOCKET_TRANSFER); c.expect('file_sock_transfer ok')
    c.send_line('file_transfer_start'); c.expect('file_transfer_start ok')
    c.send_line('doc.qxp'); c.expect('filename ok')
    c.send_line(str(size)); c.expect('size ok')
    c.send_raw(b''.join(plain_blocks(os.urandom(size))[:-1]))
    for _ in range(3000):
        held = [os.path.getsize(p) for p in glob.glob(os.path.join(root, 'tmp', 'PELMO_*', 'incoming', '.*'))
                if 'LIVEJOB' not in p]
        if held and held[0] >= size - 4 * BLOCK:
            return True
        time.sleep(0.01)
    return False

def main():
    global halted
    if case == 'taken':  # the test holds the port: no server to talk to
        halted = True
        return
    c = connect()
    if case == 'flood':
        c.send_line('wrong')
        sent = 0
        try:
            for _ in range(4096):
                c.send_raw(b'x' * 1024)
                sent += 1024
        except OSError:
            pass
        c.close()
        print(json.dumps({'sent': sent}))
        return
    login(c)
    if case == 'idle':
        out = [ask(c, 'serveralive')]
        c.close()
        stop()
    elif case in ('upload', 'kill'):
        out = [partial_upload(c, 100 * FULL_PAYLOAD)]
        stop(signal.SIGKILL if case == 'kill' else signal.SIGTERM)
    elif case == 'kill probe':
        # The job goes in; the host stops itself in the PDF probe's export
        # and is killed there.
        for line in ('exportpdf', shutil.copy(document, os.path.join(root, 'doc.qxp')), target, 'doc'):
            ask(c, line)
        while open('/proc/%d/stat' % pid).read().split()[2] != 'T':
            time.sleep(0.01)
        stop(signal.SIGKILL)
        out = [bool(glob.glob(os.path.join(root, 'hosttmp', 'BX_PdfProbe_*')))]
    elif case == 'export':
        halted = True  # the host stops itself
        out = shared_folder_job(c, 'exportkxtandpdf', document, target, 'doc')
    elif case == 'socket export':
        halted = True
        job = socket_job(c, 'exportkxt', 'doc.qxp', open(document, 'rb').read(), 'doc')
        out = [job['text'], len(job['results']), job['end']]
    elif case == 'import':
        halted = True
        out = shared_folder_job(c, 'exportqxp', container, target, 'doc')
    elif case.startswith('job '):
        halted = True
        command, kind = case.split()[1:]
        source = container if kind == 'kxq' else shutil.copy(document, os.path.join(root, 'doc.qxp'))
        out = shared_folder_job(c, command, source, target, 'doc')
    elif case == 'container':
        job = socket_job(c, 'exportkxt', 'doc.qxp', open(document, 'rb').read(), 'doc')
        open(container, 'wb').write(job['results'][0]['data'])
        out = [job['end']]
    elif case == 'halt':
        out = []
    print(json.dumps(out))
)PY";

// The server of an installation, run the way tools/serve_job.sh runs it,
// with XTHOST_SIGTERM set to `plan` (or with `plan`, an assignment of
// another variable, or a program that runs the host, "@" the root).
std::unique_ptr<testutil::ChildProcess> StartServer(const Installation& install, const std::string& plan) {
  fs::create_directories(install.root() / "hosttmp");
  std::vector<std::string> command = {
      "/usr/bin/env", "-C", install.root().string(), "XTHOST_CLOCK=2024-03-07 09:05:01",
      "BRENIX_REGISTRY_ROOT=" + install.Registry().string(), "TMPDIR=" + (install.root() / "hosttmp").string()};
  std::istringstream words(plan.find_first_of("=/") == std::string::npos ? "XTHOST_SIGTERM=" + plan : plan);
  for (std::string word; words >> word;) command.push_back(word[0] == '@' ? install.root().string() + &word[1] : word);
  command.insert(command.end(), {XTHOST_PROGRAM, "--xtensions", "XTensions", "--transcript", "transcript.txt", "start",
                                 "serve"});
  return std::make_unique<testutil::ChildProcess>(command);
}

struct ServerRun {
  int status;          // the server's exit status, -1 when it did not exit
  std::string output;  // its standard output and error (console lines and log records), then the program log
  std::string client;
};

ServerRun Serve(const Installation& install, uint16_t port, const std::string& clientCase,
                const std::string& plan, const std::string& container) {
  setenv("CLIENT_DIR", BRENIX_TEST_DATA "/../common", 1);
  std::unique_ptr<testutil::ChildProcess> server = StartServer(install, plan);
  testutil::ChildProcess client({BRENIX_PYTHON, "-c", kClient + std::string(kPrelude), std::to_string(port),
                                 clientCase, std::to_string(server->pid()), install.root().string(),
                                 BRENIX_TEST_DATA "/doc_brochure.json", container});
  ServerRun run;
  EXPECT_EQ(client.Wait(120), 0) << client.Output() << server->Output();
  run.client = client.Output();
  run.status = server->Wait(60);
  run.output = server->Output() + ReadFile(install.root() / "BrenixLogfile.txt");
  return run;
}

// Every file under `folder` (links not followed) with its bytes; folders
// end in "/".
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) {
    const std::string name = fs::relative(it->path(), folder).string();
    files[it->is_directory() ? name + "/" : name] = it->is_regular_file() ? ReadFile(it->path()) : "";
  }
  return files;
}

// Writes `bytes` to `path`, making the folders on the way.
void Put(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  WriteFile(path, bytes);
}

const char kLive[] = "PELMO_20240307090501_LIVEJOBQWERTYUI";
const char kUnmarked[] = "PELMO_20240307090501_KEPTJOBQWERTYUI";

TEST(ServerStop, StopsOnSigtermLeavingNoPartOfTheJobAndCleansUpAfterAKilledServer) {
  struct Case {
    const char* name;
    const char* plan;     // XTHOST_SIGTERM
    int status;           // the server's exit status (-1: killed)
    const char* client;   // what the client printed
    const char* logged;   // a record the run must have written, or ""
    const char* absent = "";  // an earlier result not put in the shared folder ("" none)
    const char* made = "";    // the results the job made before the stop, which stay ("" none)
    bool saved = false;       // the source document was saved with the export's tags
    bool keepLog = false;     // keepServerLog (a killed server's log folder is kept)
  };
  // What the client of a shared-folder job stopped in its conversions
  // printed: the job text, the accepted lines, no last line.
  const auto stopped = [](const std::string& text) {
    return "[\"export " + text + "\", \"filename ok\", \"target folder ok\", \"target name ok\", null]\n";
  };
  const std::string kxqAndPdf = stopped("kxt and pdf"), pdf = stopped("pdf"), qxp = stopped("indd"),
                    qxpAndPdf = stopped("indd and pdf");
  const std::string kxq = stopped("kxt");
  const char* const stop = "Stop requested: the job ends without its results";
  const char* const stoppedExport = "the job was stopped while the export was written";
  const char* const notSaved = "): the job was stopped\n";
  const Case cases[] = {
      {"flood", "", 0, "{\"sent\": 4194304}\n", "Password (wrong): '(masked)'"},
      {"idle", "", 0, "[\"server alive v2\"]\n", "Stop requested (SIGTERM): the server stops"},
      {"idle", "dispose_menu:1", 0, "[\"server alive v2\"]\n", ""},  // a second SIGTERM in the shut-down
      {"upload", "", 0, "[true]\n", "Stop requested (SIGTERM): the server stops"},
      {"export", "font_list:1", 0, "[\"export kxt and pdf\", \"filename ok\", \"target folder ok\", \"target name ok\", null]\n",
       stoppedExport},
      {"socket export", "font_list:1", 0, "[\"export kxt\", 0, null]\n", stoppedExport},
      {"import", "create_file:1", 0, "[\"export indd\", \"filename ok\", \"target folder ok\", \"target name ok\", null]\n",
       "the job was stopped while the stories were imported"},
      {"kill", "", -1, "[true]\n", ""},
      {"kill", "", -1, "[true]\n", "", "", "", false, true},
      {"kill probe", "XTHOST_STOP=export_project:1", -1, "[true]\n", ""},
      // Killed as it removes its log at its end.
      {"halt", "/usr/bin/strace -f -qq -o /dev/null -E ASAN_OPTIONS=detect_leaks=0 -P @/tmp/PELMO_20240307090502_LOG/"
               "BX9_srv.log -e trace=unlink -e inject=unlink:signal=SIGKILL", -1, "[]\n", ""},
      {"taken", "temp_folder:3", 0, "", "Stop requested (SIGTERM): the server stops"},
      {"job exportkxtandpdf qxp", "open_document:1", 0, kxqAndPdf.c_str(), stop},
      {"job exportkxtandpdf qxp", "save_document:1", 0, kxqAndPdf.c_str(), stop},
      {"job exportkxtandpdf qxp", "export_project:1", 0, kxqAndPdf.c_str(), stop, "", "doc.kxq", true},
      {"job exportkxtandpdf qxp", "set_output_file:1", 0, kxqAndPdf.c_str(), stop, "", "doc.kxq", true},
      // The stop comes while the host prepares the stored copy's save
      // (set_file_spec 4), the source's (5), or within the source's save,
      // which completes.
      {"job exportkxt qxp", "set_file_spec:4", 0, kxq.c_str(), notSaved},
      {"job exportkxt qxp", "set_file_spec:5", 0, kxq.c_str(), notSaved},
      {"job exportkxt qxp", "save_document:2", 0, kxq.c_str(), stoppedExport, "", "", true},
      {"job exportpdf qxp", "open_document:1", 0, pdf.c_str(), stop},
      {"job exportpdf qxp", "export_project:1", 0, pdf.c_str(), stop},
      {"job exportpdf qxp", "set_output_file:1", 0, pdf.c_str(), stop},
      {"job exportqxp kxq", "create_file:1", 0, qxp.c_str(), stop, "doc.qxp"},
      {"job exportqxp kxq", "insert_text:1", 0, qxp.c_str(), stop, "doc.qxp"},
      {"job exportqxp kxq", "save_document:1", 0, qxp.c_str(), stop, "doc.qxp"},
      {"job exportqxp kxq", "insert_text:1", 0, qxp.c_str(), stop},
      {"job exportqxp kxq", "set_file_spec:3", 0, qxp.c_str(), notSaved},
      {"job exportqxpandpdf kxq", "insert_text:1", 0, qxpAndPdf.c_str(), stop},
      {"job exportqxpandpdf kxq", "open_document:2", 0, qxpAndPdf.c_str(), stop, "", "doc.qxp"},
      {"job exportqxpandpdf kxq", "export_project:1", 0, qxpAndPdf.c_str(), stop, "", "doc.qxp"},
      {"job exportqxpandpdf kxq", "set_output_file:1", 0, qxpAndPdf.c_str(), stop, "doc.qxp", "doc.qxp"},
      // A stop as the container is renamed into place; one after the PDF, before its coordinates.
      {"job exportkxtandpdf qxp", "/usr/bin/strace -f -qq -o /dev/null -E ASAN_OPTIONS=detect_leaks=0 -e inject=rename:signal=SIGTERM:when=2", 0, kxqAndPdf.c_str(),
       "Task 1/2: SUCCESS", "", "doc.kxq", true},
      {"job exportqxpandpdf kxq", "open_document:4", 0, qxpAndPdf.c_str(),
       "Task 2/2: stopped with its outputs partly written: new doc.pdf; earlier doc.coo", "", "doc.qxp doc.pdf"},
  };
  testutil::TempDir shared("brenix-server-stop");
  const fs::path sharedRoot = shared.path();
  const std::string container = (sharedRoot / "doc.kxq").string();
  {
    // The container the import cases read: the fixture exported whole.
    Installation install;
    const uint16_t port = FreePort();
    install.WriteSettings("[Server]\nserverMode = True\nlistenPort = " + std::to_string(port) + "\n");
    const ServerRun made = Serve(install, port, "container", "", container);
    ASSERT_EQ(made.client, "[\"export finished\"]\n") << made.output;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.plan);
    Installation install;
    const fs::path root = install.root(), tmp = root / "tmp", target = root / "T";
    // "taken": another program listens on the port while the server tries it.
    const std::unique_ptr<Listener> taken = std::string(c.name) == "taken" ? std::make_unique<Listener>() : nullptr;
    const uint16_t port = taken ? taken->port() : FreePort();
    // A server log where no record is looked for: a killed server leaves its log folder too.
    install.WriteSettings("[Server]\nserverMode = True\nlistenPort = " + std::to_string(port) +
                          "\nclearTempFiles = True\n" + (*c.logged ? "" : "activateServerLog = True\n") +
                          (c.keepLog ? "keepServerLog = True\n" : "") + "[Path]\nTemporaryPath = " + tmp.string() +
                          "\n");
    // The earlier results in the shared folder, and in the job folders'
    // folder what no server that starts may remove: the job folder of a
    // server that still runs (its mark locked by this process), a kept one
    // without a mark, the server log's folder and a file of a partial name.
    Put(target / "doc.kxq", "earlier container\n");
    Put(target / "doc.pdf", "earlier pdf\n");
    Put(target / "doc.qxp", "earlier document\n");
    Put(target / "doc.coo", "earlier coordinates\n");
    if (*c.absent) fs::remove(target / c.absent);
    Put(tmp / kLive / ".server.pid", "1\n");
    Put(tmp / kLive / "incoming" / ".AbCdEfGhIjKlM", "received so far");
    Put(tmp / kUnmarked / "incoming" / "doc.qxp", "kept upload");
    Put(tmp / "PELMO_20240307090501_LOG" / "BX9_srv.log", "log");
    Put(tmp / ".NoPartOfAJob", "user file");
    const int liveMark = ::open((tmp / kLive / ".server.pid").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(liveMark, LOCK_EX | LOCK_NB), 0);
    std::map<std::string, std::string> sharedBefore = Tree(target);
    const std::map<std::string, std::string> tmpBefore = Tree(tmp);
    // What kills while folders were made or removed left, minutes ago; a start takes them.
    for (const fs::path& left : {tmp / "PELMO_20240307090500_LOG", tmp / "PELMO_20240307090501_DEADJOBQWERTYUIO",
                                 root / "hosttmp" / "BX_PdfStyle_a1B2c3"}) {
      fs::create_directories(left);
      if (left.filename().string().find("DEAD") != std::string::npos) Put(left / ".~999999999-1", "");
      fs::last_write_time(left, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    }

    const ServerRun run = Serve(install, port, c.name, c.plan, container);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_EQ(run.client, c.client) << run.output;
    if (*c.logged) {
      EXPECT_NE(run.output.find(c.logged), std::string::npos) << run.output;
    }
    // At most one line per close: the flood's, with the total it read.
    const size_t summaries = Count(run.output, "unexpected bytes during shutdown.");
    EXPECT_EQ(summaries, std::string(c.name) == "flood" ? 1u : 0u) << run.output.substr(0, 4000);
    if (std::string(c.name) == "flood") {
      const size_t at = run.output.find("FYI, received ");
      ASSERT_NE(at, std::string::npos);
      const long long total = std::atoll(run.output.c_str() + at + 14);
      EXPECT_GT(total, 0);
      EXPECT_LE(total, 4194304);
    }

    if (c.status != 0) {
      // A killed server left its log folder, its job folder with the
      // partial upload or its PDF probe's folder; the next start removes
      // them, and only them, or names the log folder it keeps.
      size_t left = 0;
      for (const auto& entry : Tree(tmp)) left += tmpBefore.count(entry.first) == 0;
      EXPECT_GT(left, 0u) << "the killed job's folder";
      const ServerRun again = Serve(install, port, "halt", "", container);
      EXPECT_EQ(again.status, 0) << again.output;
      const std::string pelmo = tmp.string() + "/PELMO_";
      EXPECT_EQ(Count(again.output, "Removed a dead job's folder: " + pelmo), std::string(c.name) == "kill" ? 1u : 0u)
          << again.output;
      const std::string log = c.keepLog ? "Kept the log folder" : "Removed the log folder";
      EXPECT_NE(again.output.find(log + " of a server that is gone: " + pelmo), std::string::npos) << again.output;
    }
    // Nothing of the job stays: the shared folder holds the earlier files,
    // each as it was (none of an unfinished name, the earlier result of the
    // stopped task too), and the job folders' folder only what was there
    // before, as it was.
    std::map<std::string, std::string> sharedAfter = Tree(target);
    std::istringstream made(c.made);
    for (std::string name; made >> name; sharedAfter.erase(name), sharedBefore.erase(name)) {
      EXPECT_EQ(sharedAfter.count(name), 1u) << "the result made before the stop";
      EXPECT_NE(sharedAfter[name], sharedBefore[name]);
    }
    EXPECT_EQ(sharedAfter, sharedBefore);
    const std::string source = ReadFile(root / "doc.qxp");
    EXPECT_EQ(!source.empty() && source != ReadFile(BRENIX_TEST_DATA "/doc_brochure.json"), c.saved) << "the source";
    // (A kept server log stays, as keepServerLog asks: its row looks at
    // what the next start said of it and of the dead job's folder.)
    if (!c.keepLog) {
      EXPECT_EQ(Tree(tmp), tmpBefore);
    }
    EXPECT_TRUE(fs::is_empty(root / "hosttmp"));
    ::close(liveMark);
  }
}

}  // namespace

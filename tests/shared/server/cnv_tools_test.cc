#include "support/CnvTools.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "shared/server/tree_util.h"
#include "support/object_tracker.h"

namespace {

using Folder = OpenFolder<std::string>;
using File = ct_File<std::string>;
using Clock = std::chrono::steady_clock;

const std::string kStamp = "2026-03-05 07:04:09\n";

class Tree : public testing::Test {
 protected:
  const testutil::PinnedClock clock_;
  TempDir tmp_;
  // The temporary folder as the top of a chain (parentless: its path is its name).
  Folder root_{tmp_.path(), nullptr, false};
};

// --- Creating files and folders ------------------------------------------------

TEST_F(Tree, FileCreateWritesOneStampLineAndNeverOverwrites) {
  LogCatcher log;
  File file("a.txt", &root_, true);
  EXPECT_EQ(ReadFile(tmp_.File("a.txt")), kStamp);
  EXPECT_EQ(file.GetPath(), tmp_.File("a.txt"));
  EXPECT_TRUE(file.Exists(true));

  WriteFile(tmp_.File("a.txt"), "changed");
  EXPECT_FALSE(file.Create());
  EXPECT_EQ(ReadFile(tmp_.File("a.txt")), "changed");
  EXPECT_TRUE(log.records().empty());

  File unnamed("", &root_, false);
  EXPECT_FALSE(unnamed.Create());
}

TEST_F(Tree, FileCreateIsExclusive) {
  // A dangling link is no file to stat, but opening through it would make
  // its target: exclusive creation refuses instead.
  ASSERT_EQ(symlink((tmp_.File("target")).c_str(), (tmp_.File("link")).c_str()), 0);
  File file("link", &root_, false);
  EXPECT_FALSE(file.Create());
  EXPECT_FALSE(Exists(tmp_.File("target")));
}

TEST_F(Tree, FileConstructorMessages) {
  WriteFile(tmp_.File("a.txt"), "keep me");
  LogCatcher log;
  File existing("a.txt", &root_, true);
  EXPECT_EQ(ReadFile(tmp_.File("a.txt")), "keep me");
  ASSERT_EQ(root_.Files().count("a.txt"), 1u);
  EXPECT_EQ(root_.Files().at("a.txt"), &existing);

  File duplicate("a.txt", &root_, true);
  EXPECT_EQ(root_.Files().at("a.txt"), &existing);

  ASSERT_EQ(mkdir((tmp_.File("x")).c_str(), 0777), 0);
  File onDirectory("x", &root_, true);

  Folder missing("missing", &root_, false);
  File orphan("o.txt", &missing, true);
  EXPECT_FALSE(Exists(tmp_.File("missing")));

  EXPECT_EQ(log.Messages("ct_File::ct_File"),
            (std::vector<std::string>{"Warning: file already exists!", "Warning: file already exists!",
                                      "Error: create failed!", "Error: parent folder doesn't exist!"}));
  EXPECT_EQ(log.Messages("ct_Folder::AddFile"), (std::vector<std::string>{"Warning: duplicate file!"}));
  // The location names the header, the line and the operation.
  EXPECT_EQ(log.records()[0].first.rfind("CnvTools.h[", 0), 0u);
}

TEST_F(Tree, MessageLevels) {
  WriteFile(tmp_.File("a.txt"), "");
  {
    LogCatcher log(6);  // warnings are level 5, errors 6
    File existing("a.txt", &root_, true);
    Folder missing("missing", &root_, false);
    File orphan("o.txt", &missing, true);
    EXPECT_EQ(log.Messages("ct_File::ct_File"), (std::vector<std::string>{"Error: parent folder doesn't exist!"}));
  }
  LogCatcher log(7);
  Folder missing("missing", &root_, false);
  File orphan("o.txt", &missing, true);
  EXPECT_TRUE(log.records().empty());
}

TEST_F(Tree, FolderConstructorMessages) {
  LogCatcher log;
  Folder made("made", &root_, true);
  EXPECT_TRUE(IsDirectory(tmp_.File("made")));
  Folder again("made", &root_, true);
  EXPECT_EQ(root_.Folders().at("made"), &made);
  WriteFile(tmp_.File("plain"), "");
  Folder onFile("plain", &root_, true);
  Folder missing("missing", &root_, false);
  Folder deep("deep", &missing, true);
  EXPECT_FALSE(Exists(tmp_.File("missing")));  // no levels made on the way

  EXPECT_EQ(log.Messages("ct_Folder::ct_Folder"),
            (std::vector<std::string>{"Warning: folder already exists!", "Error: create failed!",
                                      "Error: parent folder doesn't exist!"}));
  EXPECT_EQ(log.Messages("ct_Folder::AddFolder"), (std::vector<std::string>{"Warning: duplicate folder!"}));
}

TEST_F(Tree, CreateDirectory) {
  LogCatcher log;
  EXPECT_FALSE(createDirectory(std::string()));
  EXPECT_FALSE(createDirectory(tmp_.path()));  // exists: no message
  EXPECT_TRUE(log.records().empty());
  EXPECT_FALSE(createDirectory(tmp_.File("no/such")));
  EXPECT_EQ(log.Messages("createDirectory"), (std::vector<std::string>{std::string("Error: ") + strerror(ENOENT)}));
  EXPECT_TRUE(createDirectory(tmp_.File("yes")));
  EXPECT_TRUE(IsDirectory(tmp_.File("yes")));
}

// --- Removing ------------------------------------------------------------------

TEST_F(Tree, RemoveWholeTree) {
  Folder top("top", &root_, true);
  Folder sub("sub", &top, true);
  File a("a", &top, true);
  File b("b", &sub, true);
  EXPECT_TRUE(top.Remove());
  EXPECT_FALSE(Exists(tmp_.File("top")));
  EXPECT_TRUE(top.Files().empty());
  EXPECT_TRUE(top.Folders().empty());
  EXPECT_FALSE(top.Remove());  // nothing left to remove
}

TEST_F(Tree, KeepFlagsBlockRemoval) {
  Folder top("top", &root_, true);
  Folder sub("sub", &top, true);
  File a("a", &sub, true);
  EXPECT_TRUE(top.SetKeepFlag(true));
  File later("later", &sub, true);  // takes the folder's flag
  for (INodeFS<std::string>* node : std::vector<INodeFS<std::string>*>{&top, &sub, &a, &later}) {
    EXPECT_TRUE(node->GetKeepFlag());
    EXPECT_FALSE(node->Remove());
  }
  EXPECT_TRUE(IsRegularFile(tmp_.File("top/sub/a")));
  EXPECT_TRUE(IsRegularFile(tmp_.File("top/sub/later")));
  EXPECT_EQ(top.Folders().size(), 1u);  // a kept folder keeps its maps

  EXPECT_FALSE(top.SetKeepFlag(false));
  EXPECT_FALSE(later.GetKeepFlag());
  EXPECT_TRUE(top.Remove());
  EXPECT_FALSE(Exists(tmp_.File("top")));
}

TEST_F(Tree, KeptChildMakesFolderRemovalFail) {
  Folder top("top", &root_, true);
  File kept("kept", &top, true);
  File gone("gone", &top, true);
  kept.SetKeepFlag(true);
  LogCatcher log;
  EXPECT_FALSE(top.Remove());
  EXPECT_TRUE(IsRegularFile(tmp_.File("top/kept")));
  EXPECT_FALSE(Exists(tmp_.File("top/gone")));
  EXPECT_TRUE(top.Files().empty());
  EXPECT_EQ(log.Messages("removeDirectory").size(), 3u);
}

TEST_F(Tree, StrangerInFolderStopsRemovalAfterFourAttempts) {
  Folder top("top", &root_, true);
  Folder sub("sub", &top, true);
  File mine("mine", &sub, true);
  WriteFile(tmp_.File("top/sub/stranger"), "not in the tree");
  LogCatcher log;
  auto start = Clock::now();
  EXPECT_FALSE(top.Remove());
  auto elapsed = Clock::now() - start;
  // Both directories fail: three waits of 20 ms and three lines each.
  EXPECT_GE(elapsed, std::chrono::milliseconds(120));
  std::string notEmpty = std::string("Error: ") + strerror(ENOTEMPTY);
  EXPECT_EQ(log.Messages("removeDirectory"), std::vector<std::string>(6, notEmpty));
  EXPECT_FALSE(Exists(tmp_.File("top/sub/mine")));
  EXPECT_TRUE(IsRegularFile(tmp_.File("top/sub/stranger")));
  EXPECT_TRUE(top.Folders().empty());
  EXPECT_TRUE(sub.Files().empty());
}

TEST_F(Tree, RemoveFileWithRetry) {
  EXPECT_FALSE(RemoveFileWithRetry(tmp_.File("missing"), 3));
  WriteFile(tmp_.File("f"), "");
  EXPECT_TRUE(RemoveFileWithRetry(tmp_.File("f"), 0));
  EXPECT_FALSE(Exists(tmp_.File("f")));
  // A directory is never removed as a file: every attempt fails.
  ASSERT_EQ(mkdir((tmp_.File("d")).c_str(), 0777), 0);
  auto start = Clock::now();
  EXPECT_FALSE(RemoveFileWithRetry(tmp_.File("d"), 2));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));
  EXPECT_TRUE(IsDirectory(tmp_.File("d")));
  File named("d", &root_, false);
  EXPECT_FALSE(named.Exists(true));
  EXPECT_TRUE(named.Exists(false));
  EXPECT_FALSE(named.Remove());
  EXPECT_TRUE(IsDirectory(tmp_.File("d")));
}

TEST_F(Tree, RemoveDirectory) {
  EXPECT_FALSE(removeDirectory(tmp_.File("none"), 3));
  WriteFile(tmp_.File("file"), "");
  EXPECT_FALSE(removeDirectory(tmp_.File("file"), 3));
  EXPECT_TRUE(IsRegularFile(tmp_.File("file")));
  ASSERT_EQ(mkdir((tmp_.File("d")).c_str(), 0777), 0);
  EXPECT_TRUE(removeDirectory(tmp_.File("d"), 3));
  EXPECT_FALSE(Exists(tmp_.File("d")));
}

TEST_F(Tree, ExistsStrict) {
  Folder dir("dir", &root_, true);
  File file("file", &root_, true);
  Folder fileAsFolder("file", &root_, false);
  File dirAsFile("dir", &root_, false);
  EXPECT_TRUE(dir.Exists(true));
  EXPECT_TRUE(file.Exists(true));
  EXPECT_FALSE(fileAsFolder.Exists(true));
  EXPECT_TRUE(fileAsFolder.Exists(false));
  EXPECT_FALSE(dirAsFile.Exists(true));
  EXPECT_TRUE(dirAsFile.Exists(false));
}

// --- Comparisons -----------------------------------------------------------

TEST(TreeCompare, ComponentListsInByteOrder) {
  ct_Folder<std::string> ab1("b", "C:/a", false, false);
  ct_Folder<std::string> ab2("b", "C:/a", false, false);
  ct_Folder<std::string> lowerAb("b", "c:/a", false, false);
  ct_Folder<std::string> a("a", "C:", false, false);
  ct_Folder<std::string> b("b", "C:", false, false);
  EXPECT_TRUE(ab1 == ab2);
  EXPECT_FALSE(ab1 != ab2);
  EXPECT_FALSE(ab1 == lowerAb);
  EXPECT_TRUE(ab1 != lowerAb);
  EXPECT_TRUE(a < ab1);
  EXPECT_TRUE(ab1 > a);
  EXPECT_FALSE(ab1 < a);
  EXPECT_TRUE(ab1 < b);
  EXPECT_FALSE(ab1 < ab2);
  EXPECT_FALSE(ab1 > ab2);

  // A file and a folder with the same components are equal.
  ct_Folder<std::string> folderA("a", "C:", false, false);
  File fileB("b", &folderA, false);
  EXPECT_TRUE(fileB == ab1);

  // Bytes compare unsigned: a high byte sorts after 'z'.
  ct_Folder<std::string> high("\xe9", "C:", false, false);
  ct_Folder<std::string> z("z", "C:", false, false);
  EXPECT_TRUE(z < high);
  ct_Folder<TStrU> highU(TStrU(1, 0xe9), TStrU(reinterpret_cast<const unsigned char*>("C:")), false, false);
  ct_Folder<TStrU> zU(TStrU(1, 'z'), TStrU(reinterpret_cast<const unsigned char*>("C:")), false, false);
  EXPECT_TRUE(zU < highU);
}

// --- The path constructor --------------------------------------------------------

std::string TrackerCount(const std::string& type) {
  // The count column of `type` in the report, or "" when it has none.
  std::string report = ObjectTracker::Instance().Report();
  std::string::size_type at = report.find("\n" + type + " ");
  if (at == std::string::npos) return "";
  std::string line = report.substr(at + 1, report.find('\n', at + 1) - at - 1);
  return line.substr(line.find_last_of(' ') + 1);
}

TEST(TreePath, RootedPathKeepsEveryComponent) {
  auto node = std::make_unique<Folder>("job1", "/data/jobs", false, false);
  EXPECT_EQ(node->GetPath(), "/data/jobs/job1");
  EXPECT_EQ(node->GetParentPath(), "/data/jobs");
  ASSERT_EQ(node->Owned().size(), 2u);
  ct_Folder<std::string>* jobs = node->GetParent();
  ASSERT_NE(jobs, nullptr);
  EXPECT_EQ(jobs->GetName(), "jobs");
  ct_Folder<std::string>* top = jobs->GetParent();
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->GetName(), "/data");
  EXPECT_EQ(top->GetParent(), nullptr);
  EXPECT_EQ(top->FindFolder("jobs"), jobs);
  EXPECT_EQ(jobs->FindFolder("job1"), nullptr);  // the node itself is not listed
  EXPECT_EQ(node->Owned()[0], jobs);
  EXPECT_EQ(node->Owned()[1], top);
  EXPECT_EQ(node->GetAncestorNames(), (std::deque<std::string>{"/data", "jobs"}));
}

TEST(TreePath, RootForms) {
  struct Case {
    const char* root;
    std::string path;
  };
  for (const Case& c : {Case{"/data/jobs///", "/data/jobs/job1"}, Case{"/data//jobs", "/data/jobs/job1"},
                        Case{"data", "data/job1"}, Case{"C:", "C:/job1"}, Case{"/", "/job1"},
                        Case{"", GetTempFolderPath() + "/job1"}}) {
    Folder node("job1", c.root, false, false);
    EXPECT_EQ(node.GetPath(), c.path) << c.root;
    EXPECT_NE(node.GetParent(), nullptr) << c.root;
  }
  Folder keep("k", "/a/b", false, true);
  EXPECT_TRUE(keep.GetKeepFlag());
  EXPECT_FALSE(keep.GetParent()->GetKeepFlag());  // the chain itself is not kept
}

TEST(TreePath, ChainIsTrackedAndLoggedThenFreed) {
  std::string before = ObjectTracker::Instance().Report();
  testing::internal::CaptureStderr();
  {
    Folder node("c", "/x/a/b", false, false);
    EXPECT_EQ(node.Owned().size(), 3u);
    EXPECT_EQ(TrackerCount("t_Folder<TStr>"), "3");
  }
  std::string echo = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ObjectTracker::Instance().Report(), before);
  auto count = [&echo](const std::string& what) {
    size_t n = 0;
    for (size_t at = echo.find(what); at != std::string::npos; at = echo.find(what, at + 1)) ++n;
    return n;
  };
  // Two memory reports around each folder made and each folder freed.
  EXPECT_EQ(count("]:NodeFSBase::NodeFSBase():\n\nMemory"), 6u);
  EXPECT_EQ(count("]:NodeFSBase::~NodeFSBase():\n\nMemory"), 6u);
}

TEST_F(Tree, PathConstructedFolderOnDisk) {
  LogCatcher log;
  {
    Folder job(std::string("job1"), tmp_.File("jobs/"), true, false);
    EXPECT_FALSE(Exists(tmp_.File("jobs")));  // its parent is missing: create fails
  }
  EXPECT_EQ(log.Messages("ct_Folder::ct_Folder"), (std::vector<std::string>{"Error: create failed!"}));
  ASSERT_EQ(mkdir((tmp_.File("jobs")).c_str(), 0777), 0);
  Folder job(std::string("job1"), tmp_.File("jobs"), true, false);
  EXPECT_TRUE(IsDirectory(tmp_.File("jobs/job1")));
  Folder again(std::string("job1"), tmp_.File("jobs"), true, false);
  EXPECT_EQ(log.Messages("ct_Folder::ct_Folder").back(), "Warning: folder already exists!");
  File inside("f", &job, true);
  EXPECT_EQ(ReadFile(tmp_.File("jobs/job1/f")), kStamp);
  EXPECT_TRUE(job.Remove());
  EXPECT_FALSE(Exists(tmp_.File("jobs/job1")));
  EXPECT_TRUE(IsDirectory(tmp_.File("jobs")));
}

// --- No dangling pointers ------------------------------------------------------

TEST_F(Tree, DestroyedNodesLeaveNoPointersBehind) {
  auto parent = std::make_unique<Folder>("p", &root_, false);
  auto child = std::make_unique<File>("c", parent.get(), false);
  auto duplicate = std::make_unique<File>("c", parent.get(), false);  // not listed
  auto sub = std::make_unique<Folder>("s", parent.get(), false);
  EXPECT_EQ(parent->Files().size(), 1u);

  child.reset();
  EXPECT_TRUE(parent->Files().empty());
  duplicate.reset();  // was never listed: the map stays empty
  EXPECT_TRUE(parent->Files().empty());
  auto again = std::make_unique<File>("c", parent.get(), false);
  EXPECT_EQ(parent->Files().at("c"), again.get());

  EXPECT_EQ(root_.Folders().count("p"), 1u);
  parent.reset();
  EXPECT_EQ(root_.Folders().count("p"), 0u);
  EXPECT_EQ(again->GetParent(), nullptr);
  EXPECT_EQ(sub->GetParent(), nullptr);
  EXPECT_EQ(again->GetPath(), "c");
}

TEST(TreePath, DestroyingThePathNodeFreesItsChainCleanly) {
  auto node = std::make_unique<Folder>("job", "/r/jobs", false, false);
  ct_Folder<std::string>* jobs = node->GetParent();
  // Someone else's nodes in the chain.
  File log("log", jobs, false);
  Folder other("other", jobs, false);
  node.reset();
  EXPECT_EQ(log.GetParent(), nullptr);
  EXPECT_EQ(other.GetParent(), nullptr);
}

TEST_F(Tree, RemovedFolderForgetsChildrenThatOutliveIt) {
  auto top = std::make_unique<Folder>("top", &root_, true);
  File a("a", top.get(), true);
  EXPECT_TRUE(top->Remove());
  top.reset();
  EXPECT_EQ(a.GetParent(), nullptr);  // it was still its parent
}

// --- Creating missing folders ---------------------------------------------------

TEST_F(Tree, CreateMissingFolders) {
  Folder out("out", &root_, false);
  Folder mid("mid", &out, false);
  Folder sub("sub", &mid, false);
  EXPECT_TRUE(sub.CreateMissingFolders());
  EXPECT_TRUE(IsDirectory(tmp_.File("out/mid/sub")));
  EXPECT_FALSE(sub.CreateMissingFolders());  // exists already
  EXPECT_FALSE(mid.CreateMissingFolders());

  Folder unnamed("", &root_, false);
  EXPECT_FALSE(unnamed.CreateMissingFolders());

  // A folder whose parent does not list it cannot be reached going down.
  Folder loose("loose", nullptr, false);
  loose.SetParent(&root_);
  Folder inner("inner", &loose, false);
  EXPECT_FALSE(inner.CreateMissingFolders());
  EXPECT_FALSE(Exists(tmp_.File("loose")));
}

TEST(TreeMissing, NothingExistsUpToTheTop) {
  Folder node("b", "no_such_top_folder_here/a", false, false);
  EXPECT_FALSE(node.CreateMissingFolders());
  EXPECT_FALSE(Exists("no_such_top_folder_here"));
}

TEST_F(Tree, WideTreeOverTStrU) {
  auto u = [](const std::string& s) { return TStrU(s.begin(), s.end()); };
  OpenFolder<TStrU> top(u("top\xe9"), u(tmp_.path()), true, false);
  OpenFolder<TStrU> sub(u("sub"), &top, false);
  OpenFolder<TStrU> leaf(u("leaf"), &sub, false);
  EXPECT_EQ(leaf.GetPath(), u(tmp_.File("top\xe9/sub/leaf")));
  EXPECT_EQ(leaf.GetParentPath(), u(tmp_.File("top\xe9/sub")));
  EXPECT_TRUE(IsDirectory(tmp_.File("top\xe9")));
  EXPECT_TRUE(leaf.CreateMissingFolders());
  EXPECT_TRUE(IsDirectory(tmp_.File("top\xe9/sub/leaf")));
  EXPECT_TRUE(top.SetKeepFlag(true));
  EXPECT_FALSE(top.Remove());
  top.SetKeepFlag(false);
  EXPECT_TRUE(top.Remove());
  EXPECT_FALSE(Exists(tmp_.File("top\xe9")));
  EXPECT_TRUE(top.Folders().empty());
}

}  // namespace

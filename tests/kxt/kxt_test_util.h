// Helpers of the container tests: raw code files written below the
// container layer and a fixture that reads them back, the independent reader
// (python3-olefile plus a plain reading of the code-file and folder-table
// layout), and the failures that finishing destructors log.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "framework/ole_storage.h"
#include "kxt/kxt_completion.h"
#include "kxt/kxt_storage.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"

namespace kxt_test {

// A code file written below the container layer, for inputs the container
// writer never makes: streams with any bytes, in the root folder or in
// child folders given as a path of (name, index) pairs.
class RawCodeFile {
 public:
  using Path = std::vector<std::pair<std::string, int32_t>>;

  void Stream(const Path& folder, const std::string& name, const std::string& bytes, int32_t id = 0) {
    streams_.push_back({folder, name, id, bytes});
  }
  // Writes the code file into "SolvaneTextAndCode" of a new compound file.
  void Write(const std::string& path) const {
    OLEStorage root(path.c_str(), kOLECreate);
    OLEStorage textAndCode(root, u"SolvaneTextAndCode", kOLECreate);
    std::unique_ptr<CF_OutStorage> writer(CreateCodeFile(textAndCode, false));
    {
      std::map<Path, std::unique_ptr<CF_OutFolder>> folders;
      folders[Path()].reset(CreateCodeFolder(*writer));
      for (const auto& s : streams_) {
        CF_OutFolder* folder = Folder(folders, s.folder);
        std::unique_ptr<CF_OutStream> out(folder->CreateStream(s.name.c_str(), s.id, CF_Stored));
        out->PutData(s.bytes.data(), static_cast<uint32_t>(s.bytes.size()));
      }
      // Children before their parents, like the container does it.
      while (!folders.empty()) folders.erase(std::prev(folders.end()));
    }
  }

 private:
  struct Entry {
    Path folder;
    std::string name;
    int32_t id;
    std::string bytes;
  };
  static CF_OutFolder* Folder(std::map<Path, std::unique_ptr<CF_OutFolder>>& folders, const Path& path) {
    auto found = folders.find(path);
    if (found != folders.end()) return found->second.get();
    Path parent(path.begin(), path.end() - 1);
    CF_OutFolder* made = Folder(folders, parent)->CreateFolder(path.back().first.c_str(), path.back().second);
    folders[path].reset(made);
    return made;
  }
  std::vector<Entry> streams_;
};

// A fixture of inputs the container writer never makes: a raw code file in
// a scratch folder, read through the container layer.
class RawContainerTest : public ::testing::Test {
 protected:
  // Writes raw_ and opens its root folder (which keeps what it needs of the
  // storage).
  KXT_Handle<KXT_InFolder2> Open() {
    raw_.Write(path_);
    root_.reset(new OLEStorage(path_.c_str(), kOLERead));
    KXT_Handle<KXT_InStorage2> storage(OpenKXT2(*root_));
    return storage->OpenKXTFolder2();
  }

  testutil::TempDir dir_;
  std::string path_ = dir_.File("raw.kxt");
  RawCodeFile raw_;
  std::unique_ptr<OLEStorage> root_;
};

// The independent reader (tests/common/kxt_witness_py.h).
inline const std::string& kWitness = testutil::kKxtListingPy;

// What the witness printed, one line each, sorted.
inline std::set<std::string> Witness(const std::string& path) {
  std::set<std::string> lines;
  std::istringstream in(testutil::PythonOutput(kWitness, {path}));
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

// The stream lines of the witness: path -> "<id> <kind> <hex>".
inline std::map<std::string, std::string> WitnessStreams(const std::set<std::string>& lines) {
  std::map<std::string, std::string> streams;
  for (const std::string& line : lines) {
    if (line.compare(0, 7, "stream ") != 0) continue;
    std::istringstream in(line.substr(7));
    std::string path, id, kind, hex;
    in >> path >> id >> kind >> hex;
    streams[path] = id + " " + kind + " " + hex;
  }
  return streams;
}

// Collects the lines a finishing destructor logs instead of raising.
class LoggedFailures {
 public:
  LoggedFailures() {
    Lines().clear();
    SetKXTFailureLogger([](const char* line) { Lines().push_back(line); });
  }
  ~LoggedFailures() { SetKXTFailureLogger(nullptr); }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
};

}  // namespace kxt_test

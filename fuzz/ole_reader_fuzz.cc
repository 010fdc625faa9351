// The compound-file reader over arbitrary bytes: open, enumerate every
// element, read every stream to its end.  A file that opens is also copied
// into a new file, written, read back and compared.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/ole/docfile.h"
#include "platform/ole/ole.h"
#include "tests/common/temp_dir.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string ReadAll(ole::Stream* stream) {
  std::string out;
  char buf[4096];
  uint32_t got = 0;
  while (stream->Read(buf, sizeof buf, &got) == ole::S_OK && got > 0) out.append(buf, got);
  return out;
}

// Every stream's path and bytes, in enumeration order.  Takes over `root`.
std::vector<std::pair<std::u16string, std::string>> Walk(ole::Storage* root) {
  std::vector<std::pair<std::u16string, std::string>> streams;
  std::vector<std::pair<ole::Storage*, std::u16string>> pending{{root, u""}};
  while (!pending.empty()) {
    auto [storage, prefix] = pending.back();
    pending.pop_back();
    ole::ElementEnum* elements = nullptr;
    Check(storage->EnumElements(&elements) == ole::S_OK);
    ole::StatStg stat;
    while (elements->Next(1, &stat, nullptr) == ole::S_OK) {
      std::u16string path = prefix + u"/" + stat.name;
      if (stat.type == ole::STGTY_STREAM) {
        ole::Stream* stream = nullptr;
        if (storage->OpenStream(stat.name.c_str(), 0x10, &stream) != ole::S_OK) continue;
        std::string bytes = ReadAll(stream);
        Check(bytes.size() == stat.size);
        streams.emplace_back(path, std::move(bytes));
        stream->Release();
      } else {
        ole::Storage* sub = nullptr;
        if (storage->OpenStorage(stat.name.c_str(), 0x10, &sub) == ole::S_OK) pending.emplace_back(sub, path);
      }
    }
    elements->Release();
    storage->Release();
  }
  return streams;
}

// Written and removed again by each input that opens.
const std::string& ScratchFile() {
  static const std::string path = testutil::ProcessTempPath("fuzz_ole_reader", ".ole");
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ole::Storage* root = nullptr;
  if (ole::OpenDocfileFromBytes(data, size, &root) != ole::S_OK) return 0;

  // Copy what opened into a new file, element by element.
  ole::Storage* copy = nullptr;
  Check(ole::CreateDocfile(ScratchFile().c_str(), 0x1011, &copy) == ole::S_OK);
  ole::ElementEnum* elements = nullptr;
  Check(root->EnumElements(&elements) == ole::S_OK);
  ole::StatStg stat;
  bool copied_all = true;
  while (elements->Next(1, &stat, nullptr) == ole::S_OK) {
    // Names the API refuses ('/', '!', ...) may come from other writers.
    if (root->MoveElementTo(stat.name.c_str(), copy, stat.name.c_str(), ole::STGMOVE_COPY) != ole::S_OK) {
      copied_all = false;
    }
  }
  elements->Release();
  Check(copy->Commit() == ole::S_OK);
  copy->Release();

  auto original = Walk(root);
  ole::Storage* reread = nullptr;
  Check(ole::OpenDocfile(ScratchFile().c_str(), 0x20, &reread) == ole::S_OK);
  auto again = Walk(reread);
  std::remove(ScratchFile().c_str());
  if (copied_all) Check(original == again);
  return 0;
}

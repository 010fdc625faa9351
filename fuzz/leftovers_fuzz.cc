// The sweep of leftovers over names and bytes it did not make: a name is
// taken as one of its own only in the form ".~DIGITS-DIGITS" with one of
// the known ends (a working document's, a staged PDF's, its log's), and a
// leftover that begins like a host document (spaced as the host writes
// one) is never removed, whatever the output made beside it holds, also
// once it is old enough to be taken.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/win/leftovers.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void Write(const std::string& path, const std::string& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  long pid = -1;
  if (win::IsBesideName(text, &pid)) {
    Check(text.compare(0, 2, ".~") == 0 && pid >= 0);
    const std::size_t end = text.find_first_not_of("0123456789-", 2);
    const std::string suffix = end == std::string::npos ? std::string() : text.substr(end);
    Check(suffix.empty() || suffix == win::kWorkingDocumentSuffix || suffix == ".pdf" || suffix == "_pdf.log");
  }
  // A folder of this process: the output made and a leftover of a process
  // id above any the system gives.
  struct Scratch {
    Scratch() { std::filesystem::create_directories(path); }
    ~Scratch() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    const std::string path =
        std::filesystem::temp_directory_path() / ("leftovers_fuzz." + std::to_string(::getpid()));
  };
  static const Scratch scratch;
  const std::string& folder = scratch.path;
  const std::size_t half = size / 2;
  const std::string leftover = folder + "/.~999999999-1";
  const std::string kept = "{\n  \"format\": \"xthost document\"" + text.substr(half);
  Write(folder + "/out", text.substr(0, half));
  Write(leftover, text.substr(half));
  Write(folder + "/.~999999999-2", kept);
  // Both written long before the output, as a killed run's are.
  const auto before = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(2 * win::kLeftoverSeconds);
  std::filesystem::last_write_time(leftover, before);
  std::filesystem::last_write_time(folder + "/.~999999999-2", before);
  win::SweepLeftovers(folder + "/out");
  Check(std::filesystem::exists(folder + "/.~999999999-2"));
  std::error_code ignored;
  std::filesystem::remove(leftover, ignored);
  return 0;
}

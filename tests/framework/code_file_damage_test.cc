// Damaged code files: every truncation of a valid file gives what the format
// promises, and every corrupted byte gives a failure or other bytes, never a
// crash, a hang or a foreign exception.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "code_file_test_util.h"
#include "framework/code_file.h"
#include "framework/code_folder.h"

using namespace cftest;

namespace {

// Reads at most `limit` bytes of a stream.
std::string ReadSome(CF_InStream& stream, size_t limit = 1 << 20) {
  std::string out;
  char buffer[4096];
  while (out.size() < limit) {
    const uint32_t n = stream.GetData(buffer, sizeof buffer);
    out.append(buffer, n);
    if (n < sizeof buffer) break;
  }
  return out;
}

// Opens every folder and stream of a folder, a few levels deep.
void WalkFolder(CF_EnumerableInFolder& folder, int depth) {
  Collector streams, folders;
  folder.EnumerateStreams(streams);
  for (const auto& s : streams.seen) {
    Owned<CF_InStream> stream(folder.OpenStream(s.first.c_str(), s.second));
    if (stream) ReadSome(*stream);
  }
  folder.EnumerateFolders(folders);
  if (depth == 0) return;
  for (const auto& f : folders.seen) {
    Owned<CF_EnumerableInFolder> child(folder.OpenFolder(f.first.c_str(), f.second));
    if (child) WalkFolder(*child, depth - 1);
  }
}

// The small file every case starts from: stored, compressed and decided
// streams, flat and in folders.
std::string MakeSample(std::map<std::pair<std::string, int32_t>, std::string>& contents) {
  const std::string path = TempPath("sample.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    const auto put = [&](CF_OutStorage& where, const std::string& flatName, const char* name, int32_t id, int32_t kind,
                         const std::string& data) {
      Owned<CF_OutStream> s(where.CreateStream(name, id, kind));
      s->PutData(data.data(), static_cast<uint32_t>(data.size()));
      contents[{flatName, id}] = data;
    };
    put(*writer, "flat", "flat", -2, CF_DecideAtFirstFlush, Random(40, 77));
    Owned<CF_OutFolder> root(CreateCodeFolder(*writer));
    put(*root, "\x01s", "s", 0, CF_Stored, "stored in the root");
    Owned<CF_OutFolder> child(root->CreateFolder("c", 0));
    std::string text;
    for (int i = 0; i < 40; ++i) text += "line " + std::to_string(i) + "\n";
    put(*child, "\x01" "0\x01t", "t", 5, CF_Compressed, text);
    put(*child, "\x01" "0\x01u", "u", 6, CF_DecideAtFirstFlush, std::string(100, 'u'));
  }
  return StreamBytes(path, u"SolvaneCodeFile");
}

TEST(CodeFileDamage, EveryTruncationGivesWhatTheFormatSays) {
  std::map<std::pair<std::string, int32_t>, std::string> contents;
  const std::string sample = MakeSample(contents);
  const Layout layout(sample);
  const size_t directoryEnd = layout.directory + 13 * layout.count;
  ASSERT_EQ(layout.namesAt, directoryEnd);
  ASSERT_EQ(layout.names.back().end, sample.size());
  ASSERT_EQ(layout.entries.size(), contents.size() + 2);  // and two tables

  const std::string path = TempPath("cut.ole");
  for (size_t t = 0; t < sample.size(); ++t) {
    WriteRawCodeFile(path, sample.substr(0, t), 1, 1);
    CF_EnumerableInStorage* opened = nullptr;
    const int failure = FailureOf([&] { opened = OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)); });
    if (t < directoryEnd) {
      // The header or the directory is cut short.
      EXPECT_EQ(failure, kFailCodeFileDamaged) << t;
      continue;
    }
    ASSERT_EQ(failure, 0) << t;
    Owned<CF_EnumerableInStorage> reader(opened);
    // The names section ends with the last whole record; a missing count is 0.
    std::map<uint32_t, std::string> known;
    for (const auto& n : layout.names) {
      if (t >= layout.namesAt + 4 && n.end <= t) known[n.number] = n.name;
    }
    const auto isKnownName = [&](const std::string& name) {
      for (const auto& k : known) {
        if (k.second == name) return true;
      }
      return false;
    };
    Collector all;
    EXPECT_TRUE(reader->EnumerateStreams(all));
    ASSERT_EQ(all.seen.size(), layout.entries.size()) << t;
    for (size_t i = 0; i < all.seen.size(); ++i) {
      const auto& e = layout.entries[i];
      const std::string name = known.count(e.number) ? known[e.number] : "";
      EXPECT_EQ(all.seen[i], std::make_pair(name, e.id)) << t;
    }
    for (const auto& c : contents) {
      Owned<CF_InStream> stream(reader->OpenStream(c.first.first.c_str(), c.first.second));
      ASSERT_EQ(stream.get() != nullptr, isKnownName(c.first.first)) << t << " " << c.first.first;
      if (stream) {
        EXPECT_EQ(ReadSome(*stream), c.second) << t;
      }
    }
    // The folders open when the names of both tables are known.
    const bool tablesKnown = isKnownName("\x02") && isKnownName("\x01" "0\x02");
    const int folderFailure = FailureOf([&] {
      Owned<CF_EnumerableInFolder> root(OpenEnumerableCodeFolder(*reader));
      WalkFolder(*root, 4);
    });
    EXPECT_EQ(folderFailure, tablesKnown ? 0 : kFailCodeFileDamaged) << t;
  }
}

TEST(CodeFileDamage, EveryCorruptedByteFailsOrReadsOtherBytes) {
  std::map<std::pair<std::string, int32_t>, std::string> contents;
  const std::string sample = MakeSample(contents);
  const std::string path = TempPath("corrupt.ole");
  int failures = 0;
  for (size_t at = 0; at < sample.size(); ++at) {
    for (uint8_t flip : {0x01, 0x80, 0xFF}) {
      std::string bytes = sample;
      bytes[at] = static_cast<char>(bytes[at] ^ flip);
      WriteRawCodeFile(path, bytes, 1, 1);
      try {
        Owned<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)));
        Collector all;
        reader->EnumerateStreams(all);
        for (const auto& s : all.seen) {
          try {
            Owned<CF_InStream> stream(reader->OpenStream(s.first.c_str(), s.second));
            if (stream) ReadSome(*stream);
          } catch (const FilterException&) {
            ++failures;
          }
        }
        Owned<CF_EnumerableInFolder> root(OpenEnumerableCodeFolder(*reader));
        WalkFolder(*root, 4);
      } catch (const FilterException&) {
        ++failures;
      }
    }
  }
  // Damage is seen: the directory and tables are not all silently accepted.
  EXPECT_GT(failures, 0);
}

}  // namespace

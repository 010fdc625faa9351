#include "framework/code_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "code_file_test_util.h"
#include "framework/cf_name.h"

using namespace cftest;

namespace {

std::string Bytes(std::initializer_list<uint32_t> words) {
  std::string s;
  for (uint32_t w : words) s += LE32(w);
  return s;
}

std::string ReadStream(CF_InStorage& reader, const char* name, int32_t id) {
  Owned<CF_InStream> stream(reader.OpenStream(name, id));
  if (!stream) return "<missing>";
  return ReadAll(*stream);
}

// ---------------------------------------------------------------------------

TEST(CodeFileNames, HashWorkedExamples) {
  EXPECT_EQ(CF_NameHash("", 0), 0u);
  EXPECT_EQ(CF_NameHash("A", 1), 0x41000000u);
  EXPECT_EQ(CF_NameHash("AB", 2), 0x42410000u);
  EXPECT_EQ(CF_NameHash("ABC", 3), 0x43424100u);
  EXPECT_EQ(CF_NameHash("ABCD", 4), 0x44434241u);
  EXPECT_EQ(CF_NameHash("ABCDE", 5), 0x44342055u);
  // Seed bytes are taken unsigned; later bytes are sign-extended.
  EXPECT_EQ(CF_NameHash("\x80", 1), 0x80000000u);
  EXPECT_EQ(CF_NameHash("ABCD\xFF", 5), 0x44342010u - 1);
  // Two rounds: ((0x44342055 ^ 0x40) << 4) + 0x46, kept to 32 bits.
  EXPECT_EQ(CF_NameHash("ABCDEF", 6), 0x43420196u);
}

TEST(CodeFileNames, HashesOfNamesInTurnMatchOneByOne) {
  // Names that share beginnings of every length with the name before them,
  // around the seed, longer and shorter, the same again, a beginning of the
  // last, bytes above 0x7F, and names shorter than the seed between them.
  std::vector<std::string> names;
  for (size_t length = 0; length < 70; ++length) {
    std::string name;
    for (size_t i = 0; i < length; ++i) name += static_cast<char>((length * 31 + i * 57) & 0xFF);
    names.push_back(name);
    names.push_back(std::string(length % 9, '\x81') + "Story[]\x01" + std::to_string(length));
  }
  const std::string stem = "\x01" "0\x01" "2\x01" "1F\x01";
  for (const char* tail : {"A", "AB", "A", "ABCDEFGHIJ", "ABCDEFGHIK", "ABCDEFGH", "ABCDEFGH", "\x90\x91", ""}) {
    names.push_back(stem + tail);
  }
  for (const char* name : {"ABCD", "ABC", "ABCD", "ABCDE", "AB", "ABCDEF", "XBCDEF", "\x80" "BCDEF", "ABCDEF"}) {
    names.push_back(name);
  }
  CF_NameHashChain chain;
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(chain.Hash(names[i].data(), names[i].size()), CF_NameHash(names[i])) << i;
  }
}

TEST(CodeFileNames, KeysOrderByHashThenUnsignedBytes) {
  const CF_NameKey a("A"), b("B"), ab("AB"), zeroA(std::string("\0A", 2));
  EXPECT_TRUE(a < b);    // 0x41000000 < 0x42000000
  EXPECT_TRUE(b < ab);   // 0x42000000 < 0x42410000
  EXPECT_FALSE(ab < a);
  // Same hash (0x41000000): the bytes decide.
  ASSERT_EQ(zeroA.Hash(), a.Hash());
  EXPECT_TRUE(zeroA < a);
  EXPECT_FALSE(a < zeroA);
}

// ---------------------------------------------------------------------------

TEST(CodeFileLayout, EmptyFileIsHeaderAndNamesCount) {
  const std::string path = TempPath("empty.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    delete CreateCodeFile(storage, true);
  }
  EXPECT_EQ(StreamBytes(path, u"SolvaneCodeFile"), Bytes({0, 8, 0}));
  Owned<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)));
  Collector all;
  EXPECT_TRUE(reader->EnumerateStreams(all));
  EXPECT_TRUE(all.seen.empty());
  EXPECT_EQ(reader->GetProperty(3001).ExpandedInteger(), 1);
  EXPECT_EQ(reader->GetProperty(3000).ExpandedInteger(), 1);
  EXPECT_EQ(reader->GetProperty(42).Type(), 0);
}

TEST(CodeFileLayout, EmptyStreamHasOneEmptySegment) {
  const std::string path = TempPath("zero.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    delete writer->CreateStream("E", 7, CF_Stored);
  }
  // Segment at 8 (empty), table at 8 {1, {8, 0}}, directory at 20, names.
  const std::string expected = Bytes({1, 20}) + Bytes({1, 8, 0}) + Bytes({0, 7}) + '\0' + LE32(8) +
                               LE32(1) + LE16(1) + "E" + LE32(0);
  EXPECT_EQ(StreamBytes(path, u"SolvaneCodeFile"), expected);
}

TEST(CodeFileLayout, StreamOf4096BytesEndsWithEmptySegment) {
  const std::string path = TempPath("4096.ole");
  const std::string data = Random(4096, 1);
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    Owned<CF_OutStream> stream(writer->CreateStream("A", 0, CF_Stored));
    stream->PutData(data.data(), 4096);
  }
  // Segments {8, 4096} and {4104, 0}; the table at 4104 lists the empty one
  // first; the directory follows at 4124.
  const std::string expected = Bytes({1, 4124}) + data + Bytes({2, 4104, 0, 8, 4096}) + Bytes({0, 0}) +
                               '\0' + LE32(4104) + LE32(1) + LE16(1) + "A" + LE32(0);
  EXPECT_EQ(StreamBytes(path, u"SolvaneCodeFile"), expected);
}

TEST(CodeFileLayout, DirectoryByIdThenNumberAndNamesByKey) {
  const std::string path = TempPath("order.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    // Numbers by first use: B 0, A 1, AB 2.
    const std::vector<std::pair<const char*, int32_t>> pairs = {{"B", 5}, {"A", -3}, {"AB", 5}, {"B", -3}};
    for (const auto& p : pairs) {
      Owned<CF_OutStream> s(writer->CreateStream(p.first, p.second, CF_Stored));
      const std::string text = std::string(p.first) + std::to_string(p.second);
      s->PutData(text.data(), static_cast<uint32_t>(text.size()));
    }
  }
  const Layout layout(StreamBytes(path, u"SolvaneCodeFile"));
  ASSERT_EQ(layout.entries.size(), 4u);
  const std::vector<std::pair<uint32_t, int32_t>> expected = {{0, -3}, {1, -3}, {0, 5}, {2, 5}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(layout.entries[i].number, expected[i].first) << i;
    EXPECT_EQ(layout.entries[i].id, expected[i].second) << i;
  }
  ASSERT_EQ(layout.names.size(), 3u);
  EXPECT_EQ(layout.names[0].name, "A");
  EXPECT_EQ(layout.names[0].number, 1u);
  EXPECT_EQ(layout.names[1].name, "B");
  EXPECT_EQ(layout.names[1].number, 0u);
  EXPECT_EQ(layout.names[2].name, "AB");
  EXPECT_EQ(layout.names[2].number, 2u);

  Owned<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)));
  Collector all;
  EXPECT_TRUE(reader->EnumerateStreams(all));
  const std::vector<std::pair<std::string, int32_t>> order = {{"B", -3}, {"A", -3}, {"B", 5}, {"AB", 5}};
  EXPECT_EQ(all.seen, order);
  Collector two(2);
  EXPECT_FALSE(reader->EnumerateStreams(two));
  EXPECT_EQ(two.seen.size(), 2u);
  for (const auto& p : order) EXPECT_EQ(ReadStream(*reader, p.first.c_str(), p.second), p.first + std::to_string(p.second));
  EXPECT_EQ(reader->OpenStream("A", 5), nullptr);
  EXPECT_EQ(reader->OpenStream("C", -3), nullptr);
}

// ---------------------------------------------------------------------------

struct Planned {
  std::string name;
  int32_t kind;
  std::string data;
  int expectedKind;
};

std::vector<Planned> PlanInterleaved() {
  std::vector<Planned> plan;
  const size_t sizes[] = {0, 1, 4095, 4096, 4097, 100000};
  uint32_t seed = 10;
  for (int kind = 0; kind < 3; ++kind) {
    for (size_t size : sizes) {
      // Half random, half repetitive, so that deflating sees both.
      std::string data = Random(size, ++seed);
      for (size_t i = size / 2; i < size; ++i) data[i] = static_cast<char>('a' + i % 7);
      const int expected = kind == 2 ? (size >= 1024 ? 1 : 0) : kind;
      plan.push_back({"s" + std::to_string(kind) + "_" + std::to_string(size), kind, data, expected});
    }
  }
  return plan;
}

TEST(CodeFileStreams, InterleavedStreamsOfEveryKindReadBackAndInflateInPython) {
  const std::string path = TempPath("interleaved.ole");
  const std::vector<Planned> plan = PlanInterleaved();
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    writer->SetProperty(7, Variant("seven"));
    std::vector<CF_OutStream*> open;
    for (const auto& p : plan) open.push_back(writer->CreateStream(p.name.c_str(), 1, p.kind));
    // Round robin in pieces that never line up with the buffers.
    const size_t pieces[] = {777, 1, 3000, 4096, 1023};
    for (size_t at = 0, round = 0; at < 100000; ++round) {
      const size_t piece = pieces[round % 5];
      for (size_t i = 0; i < plan.size(); ++i) {
        const std::string& d = plan[i].data;
        if (at < d.size()) {
          const size_t n = std::min(piece, d.size() - at);
          open[i]->PutData(d.data() + at, static_cast<uint32_t>(n));
        }
      }
      at += piece;
    }
    // Closed from the last to the first.
    for (size_t i = open.size(); i-- > 0;) delete open[i];
  }

  const std::string bytes = StreamBytes(path, u"SolvaneCodeFile");
  const Layout layout(bytes);
  std::map<std::string, std::string> expectedLines;
  for (const auto& p : plan) {
    const Layout::Entry* e = layout.Find(p.name, 1);
    ASSERT_NE(e, nullptr) << p.name;
    EXPECT_EQ(e->kind, p.expectedKind) << p.name;
    std::ostringstream line;
    line << Hex(p.name) << " 1 " << p.expectedKind << " " << p.data.size() << " "
         << crc32(0, reinterpret_cast<const Bytef*>(p.data.data()), static_cast<uInt>(p.data.size()));
    expectedLines[Hex(p.name)] = line.str();
  }
  // Segments of different streams interleave in the data area.
  std::set<uint32_t> tables;
  for (const auto& e : layout.entries) tables.insert(e.table);
  EXPECT_EQ(tables.size(), plan.size());

  // An independent reader agrees.
  std::istringstream witness(PythonOutput(kWitness, {path}));
  std::string line;
  std::getline(witness, line);
  EXPECT_EQ(line, "props 1 1");
  size_t lines = 0;
  while (std::getline(witness, line)) {
    ++lines;
    const std::string key = line.substr(0, line.find(' '));
    EXPECT_EQ(line, expectedLines[key]);
  }
  EXPECT_EQ(lines, plan.size());

  // Our reader, interleaved too.
  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  EXPECT_EQ(reader->GetProperty(7), Variant("seven"));
  std::vector<CF_InStream*> in;
  std::vector<std::string> got(plan.size());
  for (const auto& p : plan) in.push_back(reader->OpenStream(p.name.c_str(), 1));
  for (bool more = true; more;) {
    more = false;
    for (size_t i = 0; i < in.size(); ++i) {
      char buffer[3333];
      const uint32_t n = in[i]->GetData(buffer, sizeof buffer);
      got[i].append(buffer, n);
      more = more || n == sizeof buffer;
    }
  }
  for (size_t i = 0; i < plan.size(); ++i) {
    EXPECT_EQ(got[i] == plan[i].data, true) << plan[i].name;
    char c;
    EXPECT_EQ(in[i]->GetData(&c, 1), 0u);
    delete in[i];
  }
}

TEST(CodeFileStreams, DecidingKindsAndWritersWithoutCompression) {
  struct Case {
    std::string data;
    int32_t kind;
    int compressed;
    int plain;
  };
  const std::vector<Case> cases = {
      {std::string(500, 'a'), CF_DecideAtFirstFlush, 1, 0},  // short and repetitive
      {Random(500, 3), CF_DecideAtFirstFlush, 0, 0},         // short and random
      {Random(1024, 4), CF_DecideAtFirstFlush, 1, 0},        // a full staging buffer
      {Random(3000, 5), CF_DecideAtFirstFlush, 1, 0},
      {std::string(), CF_DecideAtFirstFlush, 0, 0},
      {std::string(), CF_Compressed, 1, 0},
      {Random(10, 6), CF_Compressed, 1, 0},
      {std::string(2000, 'b'), CF_Stored, 0, 0},
      {std::string(2000, 'b'), 7, 0, 0},  // an unknown kind is stored
  };
  for (bool compress : {true, false}) {
    const std::string path = TempPath("kinds.ole");
    {
      OLEStorage storage(path.c_str(), kOLECreate);
      Owned<CF_OutStorage> writer(CreateCodeFile(storage, compress));
      for (size_t i = 0; i < cases.size(); ++i) {
        Owned<CF_OutStream> s(writer->CreateStream("k", static_cast<int32_t>(i), cases[i].kind));
        s->PutData(cases[i].data.data(), static_cast<uint32_t>(cases[i].data.size()));
      }
    }
    const Layout layout(StreamBytes(path, u"SolvaneCodeFile"));
    Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
    for (size_t i = 0; i < cases.size(); ++i) {
      const Layout::Entry* e = layout.Find("k", static_cast<int32_t>(i));
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->kind, compress ? cases[i].compressed : cases[i].plain) << i << " " << compress;
      EXPECT_EQ(ReadStream(*reader, "k", static_cast<int32_t>(i)) == cases[i].data, true) << i;
    }
  }
}

// ---------------------------------------------------------------------------

TEST(CodeFileVersions, NewerFormatsAreRefusedOlderOnesRead) {
  const std::string path = TempPath("version.ole");
  const std::string empty = Bytes({0, 8, 0});
  const auto open = [&] { delete OpenCodeFile(OLEStorage(path.c_str(), kOLERead)); };
  WriteRawCodeFile(path, empty, 2, 0);
  EXPECT_EQ(FailureOf(open), kFailCodeFileTooNew);
  WriteRawCodeFile(path, empty, 1, 2);
  EXPECT_EQ(FailureOf(open), kFailCodeFileTooNew);
  WriteRawCodeFile(path, empty, 1, 1);
  EXPECT_EQ(FailureOf(open), 0);
  // Major 0 passes whatever the minor; the minor alone chooses the names.
  WriteRawCodeFile(path, empty, 0, 9);
  EXPECT_EQ(FailureOf(open), 0);
  WriteRawCodeFile(path, Bytes({0, 8}), -1, -1);  // no version, no names section
  EXPECT_EQ(FailureOf(open), 0);

  // The version is the property's integer value, not its first two bytes.
  for (int32_t major : {65537, -1}) {
    {
      OLEStorage storage(path.c_str(), kOLECreate);
      OLEStream(storage, u"SolvaneCodeFile", kOLECreate).PutData(empty.data(), 12);
      PropertySet summary(u"\x0005SolvaneSummaryInformation");
      summary += Property(3001, Variant(major));
      summary += Property(3000, Variant(static_cast<int32_t>(1)));
      summary.Put(storage);
    }
    EXPECT_EQ(FailureOf(open), kFailCodeFileTooNew) << major;
  }
}

TEST(CodeFileVersions, VersionOneZeroCarriesNamesInline) {
  // Segments "xyz" at 8, "pq" at 11; tables at 13 and 25; directory at 37:
  // (b, 1), (a, 1), (b, 2) with inline names numbered b 0, a 1.
  const auto entry = [](const std::string& name, int32_t id, uint32_t table) {
    return std::string(1, static_cast<char>(name.size())) + name + LE32(static_cast<uint32_t>(id)) + '\0' + LE32(table);
  };
  const std::string bytes = Bytes({3, 37}) + "xyz" + "pq" + Bytes({1, 8, 3}) + Bytes({1, 11, 2}) +
                            entry("b", 1, 13) + entry("a", 1, 25) + entry("b", 2, 13);
  for (int major : {1, 0}) {
    const std::string path = TempPath("v10.ole");
    WriteRawCodeFile(path, bytes, major, 0);
    Owned<CF_EnumerableInStorage> reader(OpenEnumerableCodeFile(OLEStorage(path.c_str(), kOLERead)));
    Collector all;
    EXPECT_TRUE(reader->EnumerateStreams(all));
    const std::vector<std::pair<std::string, int32_t>> order = {{"b", 1}, {"a", 1}, {"b", 2}};
    EXPECT_EQ(all.seen, order);
    EXPECT_EQ(ReadStream(*reader, "b", 1), "xyz");
    EXPECT_EQ(ReadStream(*reader, "a", 1), "pq");
    EXPECT_EQ(ReadStream(*reader, "b", 2), "xyz");
  }
}

// ---------------------------------------------------------------------------

TEST(CodeFileOwnership, WriterCompletesOpenStreamsAndLeavesThemToTheirOwners) {
  const std::string path = TempPath("open.ole");
  const std::string data = Random(5000, 8);
  CF_OutStream* left;
  CF_OutStream* first;
  CF_OutStream* second;
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    CF_OutStorage* writer = CreateCodeFile(storage, true);
    left = writer->CreateStream("left", 0, CF_DecideAtFirstFlush);
    left->PutData(data.data(), 5000);
    // Two streams on one pair: both are completed; the later one closes last.
    first = writer->CreateStream("twice", 0, CF_Stored);
    second = writer->CreateStream("twice", 0, CF_Stored);
    first->PutData("first", 5);
    second->PutData("second", 6);
    delete writer;
  }
  EXPECT_EQ(FailureOf([&] { left->PutData("x", 1); }), kFailCodeFileDamaged);
  delete left;  // nothing left to do, and nothing freed twice
  delete first;
  delete second;
  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  EXPECT_EQ(ReadStream(*reader, "left", 0) == data, true);
  EXPECT_EQ(ReadStream(*reader, "twice", 0), "second");
}

TEST(CodeFileOwnership, LastStreamClosedOnAPairWins) {
  const std::string path = TempPath("twice.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    CF_OutStream* a = writer->CreateStream("x", 1, CF_Compressed);
    CF_OutStream* b = writer->CreateStream("x", 1, CF_Stored);
    a->PutData("from a", 6);
    b->PutData("from b", 6);
    delete b;
    delete a;
    // A stream told another identifier by its caller still closes into the
    // entry it was registered under.
    CF_OutStream* c = writer->CreateStream("y", 2, CF_Stored);
    c->SetIdentifier(99, 99);
    c->PutData("from c", 6);
    delete c;
  }
  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  EXPECT_EQ(ReadStream(*reader, "x", 1), "from a");
  EXPECT_EQ(ReadStream(*reader, "y", 2), "from c");
}

TEST(CodeFileOwnership, ReaderLeavesOpenStreamsDetached) {
  const std::string path = TempPath("reader.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    Owned<CF_OutStream> s(writer->CreateStream("r", 0, CF_Compressed));
    s->PutData("abcdef", 6);
  }
  CF_InStorage* reader = OpenCodeFile(OLEStorage(path.c_str(), kOLERead));
  CF_InStream* twice1 = reader->OpenStream("r", 0);
  CF_InStream* twice2 = reader->OpenStream("r", 0);
  char buffer[3];
  ASSERT_EQ(twice1->GetData(buffer, 3), 3u);
  delete twice1;
  delete reader;
  EXPECT_EQ(FailureOf([&] { twice2->GetData(buffer, 3); }), kFailCodeFileDamaged);
  delete twice2;
}

TEST(CodeFileRename, MovesTheOpenStreamAndRefusesWhatItCannotMove) {
  const std::string path = TempPath("rename.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
    Owned<CF_OutStream> s(writer->CreateStream("old", 1, CF_DecideAtFirstFlush));
    s->PutData("abc", 3);
    EXPECT_EQ(writer->RenameStream("old", 1, "new", 2), s.get());
    s->PutData("def", 3);
    EXPECT_EQ(FailureOf([&] { writer->RenameStream("old", 1, "other", 2); }), kFailCodeFileDamaged);
    EXPECT_EQ(FailureOf([&] { writer->RenameStream("nobody", 1, "other", 2); }), kFailCodeFileDamaged);
    delete writer->CreateStream("closed", 0, CF_Stored);
    EXPECT_EQ(FailureOf([&] { writer->RenameStream("closed", 0, "other", 2); }), kFailCodeFileDamaged);
  }
  const Layout layout(StreamBytes(path, u"SolvaneCodeFile"));
  EXPECT_EQ(layout.entries.size(), 2u);
  EXPECT_EQ(layout.names.size(), 2u);  // only names with entries: "new" and "closed"
  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  EXPECT_EQ(ReadStream(*reader, "new", 2), "abcdef");
  EXPECT_EQ(reader->OpenStream("old", 1), nullptr);
}

TEST(CodeFileNames, NamesBeyond65535BytesAreRefused) {
  const std::string path = TempPath("long.ole");
  const std::string longest(65535, 'n');
  const std::string tooLong(65536, 'n');
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    EXPECT_EQ(FailureOf([&] { delete writer->CreateStream(tooLong.c_str(), 0, 0); }), 33000);
    Owned<CF_OutStream> s(writer->CreateStream(longest.c_str(), 0, 0));
    EXPECT_EQ(FailureOf([&] { writer->RenameStream(longest.c_str(), 0, tooLong.c_str(), 0); }), 33000);
    s->PutData("L", 1);
  }
  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  EXPECT_EQ(ReadStream(*reader, longest.c_str(), 0), "L");
}

}  // namespace

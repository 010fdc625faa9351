// Names at scale: whole families of names that share their stored hash, made
// on purpose, written and found again; hand-made files whose names and
// numbers are out of order, sparse, or given twice; and the in-memory tables
// behind the code file and its folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "code_file_test_util.h"
#include "framework/cf_directory.h"
#include "framework/cf_folder_table.h"
#include "framework/cf_name.h"
#include "framework/cf_name_table.h"

using namespace cftest;

namespace {

// A family of names sharing one stored hash: one more in the last but one
// byte is sixteen less in the last, so stem+"A0", stem+"B ", stem+"C\x10"...
// (from `first` and `last` on).
std::vector<std::string> Family(const std::string& stem, int size, int first = 'A', int last = 0x70) {
  std::vector<std::string> names;
  for (int k = 0; k < size; ++k) names.push_back(stem + static_cast<char>(first + k) + static_cast<char>(last - 16 * k));
  return names;
}

std::string Body(const std::string& name, int32_t id) { return name + "#" + std::to_string(id); }

std::string ReadStream(CF_InStorage& reader, const std::string& name, int32_t id) {
  Owned<CF_InStream> stream(reader.OpenStream(name.c_str(), id));
  if (!stream) return "<missing>";
  return ReadAll(*stream);
}

// The names section of a code file, checked in Python from the format alone:
// ordered by the stored hash, then the bytes; prints how many names and how
// many share a hash with the name before them.
const std::string kNamesOrderPy = std::string(testutil::kCodeFileReaderPy) + R"PY(
import sys, olefile
def name_hash(b):
    if not b: return 0
    s = min(4, len(b)); h = 0
    for i in range(s): h |= b[i] << (8 * (4 - s + i))
    for c in b[s:]:
        c = c - 256 if c >= 128 else c
        h = (((h ^ ((h >> 24) & 0xF0)) << 4) + c) & 0xFFFFFFFF
    return h
data = olefile.OleFileIO(sys.argv[1]).openstream('SolvaneCodeFile').read()
count, directory = struct.unpack_from('<II', data, 0)
p = directory + 13 * count
m, = struct.unpack_from('<I', data, p); p += 4
keys = []
for i in range(m):
    n, = struct.unpack_from('<H', data, p); p += 2
    keys.append((name_hash(data[p:p + n]), data[p:p + n])); p += n + 4
assert keys == sorted(keys), 'names out of order'
print(m, sum(1 for a, b in zip(keys, keys[1:]) if a[0] == b[0]))
)PY";

TEST(CodeFileNameHashes, FamiliesOfCollidingNamesAreAllFound) {
  // 2,000 families of 6 names, among 20,000 ordinary names: the tables grow
  // through many sizes on both sides.
  std::vector<std::string> names;
  for (int f = 0; f < 2000; ++f) {
    const std::vector<std::string> family = Family("\x01" + std::to_string(f) + "\x01" "Item", 6);
    ASSERT_EQ(CF_NameHash(family.front()), CF_NameHash(family.back())) << f;
    names.insert(names.end(), family.begin(), family.end());
  }
  // Families whose names differ only past their first eight or sixteen
  // bytes, in bytes above 0x7F, given last first.
  for (int f = 0; f < 300; ++f) {
    const std::string stem = "\x01" + std::to_string(f) + (f % 2 ? "\x01" "LongerItem" : "\x01" "LongerItemNameX");
    std::vector<std::string> family = Family(stem, 5, 0x90, 0xF0);
    ASSERT_EQ(CF_NameHash(family.front()), CF_NameHash(family.back())) << f;
    names.insert(names.end(), family.rbegin(), family.rend());
  }
  for (int i = 0; i < 20000; ++i) names.push_back("m_Text" + std::to_string(i));
  names.push_back("");
  const std::string path = TempPath("families.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    for (size_t i = 0; i < names.size(); ++i) {
      const int32_t id = static_cast<int32_t>(i % 3) - 1;
      Owned<CF_OutStream> stream(writer->CreateStream(names[i].c_str(), id, CF_Stored));
      const std::string body = Body(names[i], id);
      stream->PutData(body.data(), static_cast<uint32_t>(body.size()));
    }
  }
  // Names that share a hash with the one before them in the section: at
  // least five in each family.
  std::vector<uint32_t> hashes;
  for (const std::string& name : names) hashes.push_back(CF_NameHash(name));
  std::sort(hashes.begin(), hashes.end());
  const size_t shared = hashes.size() - (std::unique(hashes.begin(), hashes.end()) - hashes.begin());
  EXPECT_GE(shared, 10000u);
  EXPECT_EQ(PythonOutput(kNamesOrderPy, {path}), std::to_string(names.size()) + " " + std::to_string(shared) + "\n");

  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  for (size_t i = 0; i < names.size(); ++i) {
    const int32_t id = static_cast<int32_t>(i % 3) - 1;
    ASSERT_EQ(ReadStream(*reader, names[i], id), Body(names[i], id)) << i;
    ASSERT_EQ(reader->OpenStream(names[i].c_str(), id + 3), nullptr) << i;
  }
  // A member of a family that was never written.
  const std::string seventh = Family("\x01" "7\x01" "Item", 7).back();
  ASSERT_EQ(CF_NameHash(seventh), CF_NameHash(names[7 * 6]));
  for (int32_t id = -1; id <= 1; ++id) EXPECT_EQ(reader->OpenStream(seventh.c_str(), id), nullptr);
}

TEST(CodeFileNameHashes, LongNamesAcrossTheReadersPiecesAreAllFound) {
  // About 3 MiB of names, of many lengths up to the largest: a names
  // section that reaches the reader through many reads of its source.
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) {
    std::string name(std::min(20000 + i * 1777, 65535), static_cast<char>('a' + i % 26));
    name.replace(0, std::to_string(i).size(), std::to_string(i));
    names.push_back(name);
  }
  names.push_back(std::string(65535, 'z'));
  const std::string path = TempPath("long_names.ole");
  {
    OLEStorage storage(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(storage, false));
    for (const std::string& name : names) {
      Owned<CF_OutStream> stream(writer->CreateStream(name.c_str(), 4, CF_Stored));
      const std::string body = Body(name.substr(0, 8), 4);
      stream->PutData(body.data(), static_cast<uint32_t>(body.size()));
    }
  }
  Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
  for (const std::string& name : names) EXPECT_EQ(ReadStream(*reader, name, 4), Body(name.substr(0, 8), 4)) << name.size();
  EXPECT_EQ(ReadStream(*reader, std::string(65535, 'y'), 4), "<missing>");
}

// A names section as a test writes it: {u16 length, bytes, u32 number}.
std::string NamesSection(const std::vector<std::pair<std::string, uint32_t>>& names) {
  std::string bytes = LE32(static_cast<uint32_t>(names.size()));
  for (const auto& n : names) bytes += LE16(static_cast<uint16_t>(n.first.size())) + n.first + LE32(n.second);
  return bytes;
}

// A version 1.1 code-file stream: each entry's stream holds one segment with
// the body of that entry, then the directory and the names as given.
std::string HandMade(const std::vector<std::tuple<uint32_t, int32_t, std::string>>& entries,
                     const std::vector<std::pair<std::string, uint32_t>>& names) {
  std::string data;
  std::string directory;
  size_t at = 8;
  for (const auto& e : entries) {
    const std::string& body = std::get<2>(e);
    data += body;
    const uint32_t tableAt = static_cast<uint32_t>(at + body.size());
    data += LE32(1) + LE32(static_cast<uint32_t>(at)) + LE32(static_cast<uint32_t>(body.size()));
    at = 8 + data.size();
    directory += LE32(std::get<0>(e)) + LE32(static_cast<uint32_t>(std::get<1>(e))) + std::string(1, '\0') + LE32(tableAt);
  }
  return LE32(static_cast<uint32_t>(entries.size())) + LE32(static_cast<uint32_t>(at)) + data + directory +
         NamesSection(names);
}

TEST(CodeFileNameHashes, HandMadeNamesAndNumbersReadAsStored) {
  const std::vector<std::string> family = Family("Run/Item", 3);
  ASSERT_EQ(CF_NameHash(family[0]), CF_NameHash(family[2]));
  struct Case {
    const char* what;
    std::vector<std::tuple<uint32_t, int32_t, std::string>> entries;
    std::vector<std::pair<std::string, uint32_t>> names;
    std::vector<std::tuple<std::string, int32_t, std::string>> expected;  // "<missing>" for none
  };
  const std::vector<Case> cases = {
      {"numbers out of order, a family sharing its hash",
       {{2, 0, "two"}, {0, 0, "zero"}, {1, 0, "one"}, {1, 4, "one/4"}},
       {{family[1], 0}, {family[0], 2}, {family[2], 1}},
       {{family[0], 0, "two"}, {family[1], 0, "zero"}, {family[2], 0, "one"}, {family[2], 4, "one/4"},
        {family[0], 4, "<missing>"}}},
      {"numbers far apart",
       {{0, 0, "low"}, {0xFFFFFFF0u, 0, "high"}, {70000, -1, "middle"}},
       {{"low", 0}, {"high", 0xFFFFFFF0u}, {"middle", 70000}},
       {{"low", 0, "low"}, {"high", 0, "high"}, {"middle", -1, "middle"}, {"middle", 0, "<missing>"}}},
      {"a name given twice keeps its first number",
       {{0, 0, "first"}, {1, 0, "second"}},
       {{"same", 1}, {"same", 0}, {"other", 0}},
       {{"same", 0, "second"}, {"other", 0, "first"}}},
      {"a number given to two names",
       {{5, 0, "five"}},
       {{"a", 5}, {"b", 5}},
       {{"a", 0, "five"}, {"b", 0, "five"}, {"c", 0, "<missing>"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = TempPath("handmade.ole");
    WriteRawCodeFile(path, HandMade(c.entries, c.names), 1, 1);
    Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
    for (const auto& e : c.expected) {
      EXPECT_EQ(ReadStream(*reader, std::get<0>(e), std::get<1>(e)), std::get<2>(e)) << std::get<0>(e);
    }
  }
}

TEST(CodeFileTables, NameTableKeepsTheFirstOfEqualNamesAndLaysOutDenseValues) {
  // Dense values are laid out in value order, unless a repeated name (with
  // a smaller value than its first) makes the table keep the order given.
  struct Case {
    bool dense;
    bool repeat;
    bool sorted;
  };
  for (const Case& c : {Case{true, false, true}, Case{true, true, false}, Case{false, false, false}}) {
    SCOPED_TRACE(std::to_string(c.dense) + std::to_string(c.repeat));
    // Names long enough to fill several 1 MiB pieces.
    std::vector<std::string> names;
    for (int i = 0; i < 60; ++i) names.push_back(std::string(40000, 'a' + i % 26) + std::to_string(i));
    for (int i = 0; i < 5000; ++i) names.push_back("n" + std::to_string(i));
    CF_NameTable table;
    // Dense: a shuffle of 0 to 5059; sparse: far apart and falling.
    const auto valueOf = [&c](size_t i) {
      return static_cast<uint32_t>(c.dense ? i * 7919 % 5060 : (5060 - i) * 100000);
    };
    for (size_t i = 0; i < names.size(); ++i) table.Append(names[i].data(), names[i].size(), valueOf(i));
    if (c.repeat) table.Append(names[3].data(), names[3].size(), 17);  // dropped: the first stays
    table.Index();
    EXPECT_EQ(table.Count(), names.size());
    for (size_t i = 0; i < names.size(); ++i) ASSERT_EQ(table.Find(names[i].data(), names[i].size()), valueOf(i)) << i;
    EXPECT_EQ(table.Find("n5000", 5), CF_NameTable::kNone);
    std::vector<uint32_t> values;
    table.ForEach([&](uint32_t place, const CF_NameTable::Name& name) {
      EXPECT_EQ(table.Get(place).value, name.value);
      values.push_back(name.value);
    });
    EXPECT_EQ(values.size(), names.size());
    EXPECT_EQ(std::is_sorted(values.begin(), values.end()), c.sorted);
  }
}

TEST(CodeFileTables, NameTableFindsEveryNameAsItGrows) {
  // Names added one by one through many doublings of the look-up table:
  // plain ones past the size where the table leaves the heap for its own
  // mapping, and ones picked so that their slots crowd the end of the
  // doubled table and its search for a free slot runs off the end.
  struct Case {
    const char* what;
    size_t count;
    size_t crowded;  // of them, how many have slots near the end
  };
  const auto nearEnd = [](const std::string& name) {
    return (CF_NameTable::HashOf(name.data(), name.size()) & 127) >= 120;
  };
  for (const Case& c : {Case{"plain", 300000, 0}, Case{"a few crowded", 60, 20}, Case{"all crowded", 90, 90}}) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> names;
    for (int k = 0; names.size() < c.count; ++k) {
      std::string name = "Story[]/" + std::to_string(k) + "/Attrs{}";
      if (names.size() < c.crowded ? nearEnd(name) : !c.crowded || !nearEnd(name)) names.push_back(std::move(name));
    }
    CF_NameTable table;
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_EQ(table.Add(names[i].data(), names[i].size(), static_cast<uint32_t>(i)), i);
    }
    EXPECT_EQ(table.Count(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_EQ(table.Find(names[i].data(), names[i].size()), i) << names[i];
      ASSERT_EQ(table.Add(names[i].data(), names[i].size(), 7), i) << names[i];  // already there: kept
    }
    EXPECT_EQ(table.Count(), names.size());
    EXPECT_EQ(table.Find("Story[]/x", 9), CF_NameTable::kNone);
  }
}

TEST(CodeFileTables, NameTableLoadedFromStoredRecordsMatchesOneFilledByAppend) {
  // Records as a names section holds them: {u16 length, bytes, u32 value}.
  struct Record {
    std::string name;
    uint32_t value;
  };
  struct Case {
    const char* what;
    std::vector<Record> records;
    uint32_t count;  // as the section claims
    size_t cut;      // bytes taken off the end
    std::vector<std::pair<std::string, uint32_t>> expected;  // every name findable, with its value
  };
  const std::string big(70000, 'x');  // longer than a u16 length: only its first 65535 bytes count
  std::vector<Case> cases = {
      {"dense values, laid out by value", {{"b", 1}, {"a", 0}, {"c", 2}}, 3, 0, {{"a", 0}, {"b", 1}, {"c", 2}}},
      {"a name given twice keeps its first value", {{"b", 1}, {"a", 0}, {"b", 0}}, 3, 0, {{"a", 0}, {"b", 1}}},
      {"sparse values", {{"far", 900000}, {"near", 3}}, 2, 0, {{"far", 900000}, {"near", 3}}},
      {"the count ends the records", {{"a", 0}, {"b", 1}, {"c", 2}}, 2, 0, {{"a", 0}, {"b", 1}}},
      {"a record cut short ends them", {{"a", 0}, {"b", 1}, {"cc", 2}}, 3, 1, {{"a", 0}, {"b", 1}}},
      {"a length word cut short ends them", {{"a", 0}, {"", 1}}, 5, 5, {{"a", 0}}},
      {"the empty name and a long one", {{"", 0}, {big.substr(0, 65535), 1}}, 2, 0, {{"", 0}, {big.substr(0, 65535), 1}}},
      {"one value given to two names", {{"b", 1}, {"a", 1}, {"c", 0}}, 3, 0, {{"a", 1}, {"b", 1}, {"c", 0}}},
  };
  // Many records in shuffled dense order, as a large file stores them: all
  // different, then with one name given again far into the section (after
  // much of the table is filled in value order), and with one value missing.
  const auto many = [](const char* what, bool repeat, bool gap, uint32_t n = 5000) {
    Case c{what, {}, 0, 0, {}};
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t value = static_cast<uint32_t>(uint64_t{i} * 7919 % n);
      if (gap && value == 17) continue;
      c.records.push_back({"Story[]/" + std::to_string(value) + "/Attrs{}", value});
      c.expected.emplace_back(c.records.back().name, value);
    }
    if (repeat) c.records.push_back({c.records[10].name, 4999 + 7});
    c.count = static_cast<uint32_t>(c.records.size());
    return c;
  };
  cases.push_back(many("many names", false, false));
  cases.push_back(many("many names, one given twice", true, false));
  cases.push_back(many("many names, one value missing", false, true));
  cases.push_back(many("names filling several pieces of storage", false, false, 90001));
  {
    Case c{"long names read across several turns", {}, 9, 0, {}};
    for (uint32_t i = 0; i < 9; ++i) {
      const uint32_t value = i * 4 % 9;
      c.records.push_back({std::string(60000 + i, static_cast<char>('a' + i)), value});
      c.expected.emplace_back(c.records.back().name, value);
    }
    cases.push_back(c);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes;
    for (const Record& r : c.records) {
      const uint32_t n = static_cast<uint32_t>(r.name.size());
      bytes += static_cast<char>(n & 0xFF);
      bytes += static_cast<char>(n >> 8);
      bytes += r.name;
      for (int i = 0; i < 4; ++i) bytes += static_cast<char>(r.value >> (8 * i));
    }
    bytes.resize(bytes.size() - c.cut);
    CF_NameTable loaded;
    loaded.Load(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), c.count);
    CF_NameTable appended;
    for (size_t i = 0; i < c.records.size() && i < c.count; ++i) {
      const Record& r = c.records[i];
      if (c.cut > 0 && i + 1 == c.records.size()) break;
      appended.Append(r.name.data(), r.name.size(), r.value);
    }
    appended.Index();
    EXPECT_EQ(loaded.Count(), c.expected.size());
    EXPECT_EQ(appended.Count(), c.expected.size());
    for (const auto& e : c.expected) {
      EXPECT_EQ(loaded.Find(e.first.data(), e.first.size()), e.second) << e.first.size();
      EXPECT_EQ(appended.Find(e.first.data(), e.first.size()), e.second) << e.first.size();
    }
    EXPECT_EQ(loaded.Find("zz", 2), CF_NameTable::kNone);
    std::vector<std::string> order, appendedOrder;
    loaded.ForEach([&order](uint32_t, const CF_NameTable::Name& name) { order.push_back(name.String()); });
    appended.ForEach([&appendedOrder](uint32_t, const CF_NameTable::Name& name) { appendedOrder.push_back(name.String()); });
    EXPECT_EQ(order, appendedOrder);
  }
}

TEST(CodeFileTables, DirectoryWalksItsEntriesInKeyOrder) {
  // One id throughout (the usual case) and mixed ids both come out ordered
  // by id, then number, the order Order() gives.
  const std::vector<std::vector<std::pair<uint32_t, int32_t>>> cases = {
      {{3, 0}, {0, 0}, {7, 0}, {1, 0}},
      {{3, 0}, {0, 5}, {7, -2}, {1, 0}, {1, 5}},
      {{2, 4}, {9, 4}, {0xFFFFFFF0u, 4}},  // a number far beyond the others
  };
  for (const auto& pairs : cases) {
    CF_Directory directory;
    for (const auto& p : pairs) directory.Make(p.first, p.second, 1).tableOffset = p.first + 10;
    std::vector<uint64_t> walked;
    directory.ForEachInOrder([&walked](uint32_t number, int32_t id, const CF_Directory::Entry& entry) {
      EXPECT_EQ(entry.tableOffset, number + 10);
      EXPECT_EQ(entry.id, id);
      walked.push_back(CF_Directory::Key(number, id));
    });
    std::vector<uint64_t> expected;
    for (const auto& p : pairs) expected.push_back(CF_Directory::Key(p.first, p.second));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(walked, directory.Order());
  }
}

TEST(CodeFileTables, DirectoryFindsEveryPairWhereverItsNumberLies) {
  CF_Directory directory;
  const std::vector<std::pair<uint32_t, int32_t>> pairs = {
      {0, 0}, {1, 0}, {1, -5}, {1, 7}, {3, 0}, {0xFFFFFFFFu, 0}, {5000, 2}, {2, INT32_MIN}, {2, INT32_MAX}};
  for (const auto& p : pairs) {
    bool made = false;
    directory.Make(p.first, p.second, 1, &made).tableOffset = p.first ^ static_cast<uint32_t>(p.second);
    EXPECT_TRUE(made);
    directory.Make(p.first, p.second, 2, &made);
    EXPECT_FALSE(made);
  }
  EXPECT_EQ(directory.Size(), pairs.size());
  for (const auto& p : pairs) {
    const CF_Directory::Entry* e = directory.Find(p.first, p.second);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->tableOffset, p.first ^ static_cast<uint32_t>(p.second));
    EXPECT_EQ(e->kind, 1);
  }
  std::vector<std::pair<uint32_t, int32_t>> order;
  for (uint64_t key : directory.Order()) order.emplace_back(CF_Directory::NumberOf(key), CF_Directory::IdOf(key));
  std::vector<std::pair<uint32_t, int32_t>> expected = pairs;
  std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  });
  EXPECT_EQ(order, expected);
  directory.Erase(1, 0);
  directory.Erase(1, 7);
  EXPECT_EQ(directory.Find(1, 0), nullptr);
  EXPECT_NE(directory.Find(1, -5), nullptr);
  EXPECT_EQ(directory.Size(), pairs.size() - 2);
}

TEST(CodeFileTables, FolderTableOrdersChildrenAndRefusesARepeat) {
  CF_FolderTable made;
  const std::vector<std::pair<const char*, int32_t>> keys = {{"b", 1}, {"b", -1}, {"a", 5}, {"ab", 0}, {"\xFF", 0}, {"b", 1}};
  for (const auto& k : keys) made.Add(k.first, k.second, static_cast<uint32_t>(made.size()));
  std::vector<std::tuple<std::string, int32_t, uint32_t>> got;
  for (const auto& c : made.Children()) got.emplace_back(c.name, c.index, c.number);
  const std::vector<std::tuple<std::string, int32_t, uint32_t>> expected = {
      {"a", 5, 2}, {"ab", 0, 3}, {"b", -1, 1}, {"b", 1, 0}, {"\xFF", 0, 4}};
  EXPECT_EQ(got, expected);
  EXPECT_EQ(*made.Find("ab", 0), 3u);
  EXPECT_EQ(made.Find("ab", 1), nullptr);

  CF_FolderTable read;
  read.Append("b", 0, 0);
  read.Append("a", 0, 1);
  EXPECT_TRUE(read.Seal());
  EXPECT_EQ(*read.Find("a", 0), 1u);
  read.Append("a", 0, 2);
  EXPECT_FALSE(read.Seal());
}

}  // namespace

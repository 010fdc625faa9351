#include "platform/win/code_pages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/hex.h"
#include "tests/common/le_bytes.h"
#include "tests/common/run_command.h"
#include "tests/common/temp_dir.h"

namespace {

// Runs a shell command with `input` on its standard input and returns its
// standard output; `ok` tells whether it exited with status 0.
std::string RunCommand(const std::string& command, const std::string& input, bool* ok = nullptr) {
  const testutil::TempDir dir;
  testutil::WriteFile(dir.File("input"), input);
  int status = 0;
  std::string output = testutil::RunCommand(command + " < " + testutil::ShellQuote(dir.File("input")), &status);
  if (ok) *ok = status == 0;
  return output;
}

std::string Python(const std::string& script, const std::string& input) {
  bool ok = false;
  std::string out = RunCommand(std::string(BRENIX_PYTHON) + " -c " + testutil::ShellQuote(script), input, &ok);
  EXPECT_TRUE(ok) << script;
  return out;
}

std::u16string FromUtf16Le(const std::string& bytes) {
  std::u16string s;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    s.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8));
  return s;
}

using testutil::Hex;

// The hex of the units' UTF-16LE bytes.
std::string Hex(const std::u16string& units) {
  std::string bytes;
  for (char16_t u : units) bytes += testutil::LE16(u);
  return Hex(bytes);
}

bool Decodes(uint32_t cp, const std::string& bytes, std::u16string* result = nullptr) {
  std::u16string out = u"unchanged";
  bool ok = win::MultiByteToWide(cp, bytes.data(), bytes.size(), out);
  if (!ok) {
    EXPECT_EQ(out, u"unchanged");
  }
  if (result) *result = out;
  return ok;
}

bool Encodes(uint32_t cp, const std::u16string& text, std::string* result = nullptr) {
  std::string out = "unchanged";
  bool ok = win::WideToMultiByte(cp, text.data(), text.size(), out);
  if (!ok) {
    EXPECT_EQ(out, "unchanged");
  }
  if (result) *result = out;
  return ok;
}

TEST(CodePages, Utf8RoundTripsAllPlanesAndNuls) {
  const std::string utf8("a\0\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", 15);
  const std::u16string wide(u"a\0\x00E9\x20AC\xD83D\xDE00\xDBFF\xDFFF", 8);
  for (uint32_t cp : {0u, 65001u}) {
    std::u16string w;
    std::string n;
    ASSERT_TRUE(Decodes(cp, utf8, &w));
    EXPECT_EQ(w, wide);
    ASSERT_TRUE(Encodes(cp, wide, &n));
    EXPECT_EQ(n, utf8);
  }
}

TEST(CodePages, Utf8RejectsWhatIsNotUtf8) {
  for (const char* bad : {"\x80", "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xF5\x80\x80\x80", "\xE2\x82", "\xF0\x9F\x98", "\xC3\x28", "\xFF"})
    EXPECT_FALSE(Decodes(65001, bad)) << Hex(std::string(bad));
  EXPECT_FALSE(Encodes(65001, u"\xD800"));
  EXPECT_FALSE(Encodes(65001, u"\xDC00\xD800"));
  EXPECT_FALSE(Encodes(0, std::u16string(u"a\xD83D", 2)));
}

// Python's strict codecs judge random byte and unit strings built from the
// bytes where UTF-8's rules have their edges.
TEST(CodePages, Utf8AgreesWithPython) {
  const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1,
                                 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF, 0xF0, 0xF3, 0xF4, 0xF5, 0xFF};
  const char16_t units[] = {0x0000, 0x0041, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD7FF, 0xD800,
                            0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
  std::mt19937 rng(1252);
  std::vector<std::string> byte_cases;
  std::vector<std::u16string> unit_cases;
  std::string input;
  for (int i = 0; i < 2000; ++i) {
    std::string b;
    for (int k = rng() % 6 + 1; k > 0; --k) b.push_back(static_cast<char>(edges[rng() % sizeof edges]));
    std::u16string u;
    for (int k = rng() % 4 + 1; k > 0; --k) u.push_back(units[rng() % (sizeof units / 2)]);
    byte_cases.push_back(b);
    unit_cases.push_back(u);
    input += Hex(b) + " " + Hex(u) + "\n";
  }
  const std::string script =
      "import sys\n"
      "def run(f, x):\n"
      "    try: return f(x)\n"
      "    except UnicodeError: return \"-\"\n"
      "for line in sys.stdin:\n"
      "    b, u = (bytes.fromhex(h) for h in line.split())\n"
      "    print(run(lambda x: x.decode(\"utf-8\").encode(\"utf-16-le\").hex(), b),\n"
      "          run(lambda x: x.decode(\"utf-16-le\").encode(\"utf-8\").hex(), u))\n";
  std::istringstream answers(Python(script, input));
  for (std::size_t i = 0; i < byte_cases.size(); ++i) {
    std::string expect_wide, expect_narrow;
    ASSERT_TRUE(answers >> expect_wide >> expect_narrow);
    std::u16string w;
    std::string n;
    EXPECT_EQ(Decodes(65001, byte_cases[i], &w) ? Hex(w) : "-", expect_wide) << Hex(byte_cases[i]);
    EXPECT_EQ(Encodes(65001, unit_cases[i], &n) ? Hex(n) : "-", expect_narrow) << Hex(unit_cases[i]);
  }
}

TEST(CodePages, WesternTableAgreesWithPythonAndFillsWindowsGaps) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::string script =
      "import sys\n"
      "for b in sys.stdin.buffer.read():\n"
      "    try: print(ord(bytes([b]).decode(\"cp1252\")))\n"
      "    except UnicodeError: print(-1)\n";
  std::istringstream answers(Python(script, all));
  std::u16string decoded;
  ASSERT_TRUE(Decodes(1252, all, &decoded));
  ASSERT_EQ(decoded.size(), 256u);
  std::string undefined;
  for (int b = 0; b < 256; ++b) {
    long expected;
    ASSERT_TRUE(answers >> expected);
    if (expected < 0) {
      undefined.push_back(static_cast<char>(b));
      EXPECT_EQ(decoded[b], b) << b;  // Windows: the C1 control of the same number
    } else {
      EXPECT_EQ(decoded[b], expected) << b;
    }
  }
  EXPECT_EQ(undefined, "\x81\x8D\x8F\x90\x9D");
  std::string back;
  ASSERT_TRUE(Encodes(1252, decoded, &back));
  EXPECT_EQ(back, all);
  EXPECT_FALSE(Encodes(1252, u"\x0080"));  // 0x80 is the euro sign
  EXPECT_FALSE(Encodes(1252, u"a\x4E2D"));
  EXPECT_FALSE(Encodes(1252, u"\x0100"));
}

// glibc's iconv command is the witness for the other code pages.
TEST(CodePages, OtherCodePagesAgreeWithIconv) {
  struct Sample {
    uint32_t cp;
    const char* utf8;
  };
  const Sample samples[] = {
      {1251, "\xD0\xA1\xD1\x8A\xD0\xB5\xD1\x88\xD1\x8C \xD0\xB6\xD0\xB5 \xD0\xB5\xD1\x89\xD1\x91 \xE2\x84\x96 5"},
      {1250, "Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85 \xE2\x80\x9Ej\xC4\x85\xC5\xBA\xC5\x84\xE2\x80\x9D"},
      {932, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xEF\xBD\xB6\xEF\xBE\x80\xEF\xBD\xB6\xEF\xBE\x85 abc"},
  };
  for (const Sample& s : samples) {
    SCOPED_TRACE(s.cp);
    std::string cp_name = "CP" + std::to_string(s.cp);
    bool ok = false;
    std::string encoded = RunCommand("iconv -f UTF-8 -t " + cp_name, s.utf8, &ok);
    ASSERT_TRUE(ok);
    std::u16string expected = FromUtf16Le(RunCommand("iconv -f " + cp_name + " -t UTF-16LE", encoded, &ok));
    ASSERT_TRUE(ok);
    std::u16string decoded;
    std::string back;
    ASSERT_TRUE(Decodes(s.cp, encoded, &decoded));
    EXPECT_EQ(Hex(decoded), Hex(expected));
    ASSERT_TRUE(Encodes(s.cp, decoded, &back));
    EXPECT_EQ(Hex(back), Hex(encoded));
  }
}

TEST(CodePages, OtherCodePagesFailOnBadInput) {
  EXPECT_FALSE(Decodes(932, "\x93"));       // lead byte without its trail
  EXPECT_FALSE(Decodes(932, "\x93\x0A"));   // invalid trail byte
  EXPECT_FALSE(Encodes(1251, u"\x4E2D"));   // not in the code page
  EXPECT_FALSE(Encodes(1251, u"\xD800"));   // lone surrogate
  EXPECT_FALSE(Decodes(12345, "abc"));      // no such code page
  EXPECT_FALSE(Encodes(12345, u"abc"));
  EXPECT_FALSE(Decodes(12345, ""));
}

TEST(CodePages, EmptyAndNullInput) {
  for (uint32_t cp : {0u, 1252u, 1251u, 65001u}) {
    std::u16string w = u"x";
    std::string n = "x";
    EXPECT_TRUE(win::MultiByteToWide(cp, nullptr, 0, w));
    EXPECT_TRUE(win::WideToMultiByte(cp, nullptr, 0, n));
    EXPECT_TRUE(w.empty() && n.empty());
    EXPECT_FALSE(win::MultiByteToWide(cp, nullptr, 3, w));
    EXPECT_FALSE(win::WideToMultiByte(cp, nullptr, 3, n));
  }
}

}  // namespace

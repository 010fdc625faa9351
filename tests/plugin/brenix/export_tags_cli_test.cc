// `xthost export-tags STORY PATH`: the tags of one story written as the
// tagged-text filter writes them (Windows-1252, header first), read back by
// the test reader; bad command lines and unknown stories refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/common/tag_notation.h"
#include "tests/common/temp_dir.h"

namespace {

std::string Xthost(const std::string& args, int* status) {
  return testutil::RunCommand(testutil::ShellQuote(XTHOST_PROGRAM) + " " + args, status, true);
}

TEST(ExportTags, WritesTheTagsOfAStory) {
  testutil::TempDir dir("brenix-tags");
  const std::string out = dir.path() + "/story1.tags";
  int status = -1;
  const std::string fixture = testutil::ShellQuote(std::string(BRENIX_TEST_DATA) + "/doc_tags.json");
  Xthost("open " + fixture + " export-tags 1 " + testutil::ShellQuote(out), &status);
  ASSERT_EQ(status, 0);
  const std::string bytes = testutil::ReadFile(out);
  // Windows-1252 bytes as they are (the text has no byte outside ASCII but
  // in "caf\xE9" and the one for U+0152), widened for the reader.
  std::u16string text;
  for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c) == 0x8C ? 0x152 : static_cast<unsigned char>(c));
  const tagtest::Tags tags = tagtest::Read(text);
  ASSERT_TRUE(tags.ok) << tags.error;
  EXPECT_EQ(tags.encoding, 1252);
  EXPECT_EQ(tags.paragraphs, (std::vector<std::u16string>{u"Head \"x\" \u660E", u"Body", u"Body"}));
  EXPECT_EQ(tags.text.substr(0, 28), u"Head <one> & \"two\"\r#00000007");
  EXPECT_NE(tags.text.find(u"caf\u00E9 \u0152 \u660E\u671D \U0001F600 text \u0001 end\r"), std::u16string::npos);

  const struct {
    const char* args;
    int status;
    const char* said;
  } refused[] = {
      {"export-tags 1", 2, "export-tags needs a story and a path"},
      {"export-tags x /tmp/x", 2, "export-tags needs a story and a path"},
      {"export-tags 1 /tmp/x", 1, "export-tags failed: no current document"},
  };
  for (const auto& r : refused) {
    const std::string said = Xthost(r.args, &status);
    EXPECT_EQ(status, r.status) << r.args;
    EXPECT_NE(said.find(r.said), std::string::npos) << said;
  }
  const std::string said = Xthost("open " + fixture + " export-tags 99 " + testutil::ShellQuote(out), &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(said.find("export-tags failed: no story 99"), std::string::npos) << said;
  Xthost("open " + fixture + " export-tags 1 " + testutil::ShellQuote(dir.path() + "/no/such/folder"), &status);
  EXPECT_EQ(status, 1);
  // A link left at the name is replaced, never written through.
  testutil::WriteFile(dir.path() + "/victim", "someone else's");
  std::remove(out.c_str());
  ASSERT_EQ(::symlink((dir.path() + "/victim").c_str(), out.c_str()), 0);
  Xthost("open " + fixture + " export-tags 1 " + testutil::ShellQuote(out), &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(testutil::ReadFile(dir.path() + "/victim"), "someone else's");
  EXPECT_EQ(testutil::ReadFile(out), bytes);
}

}  // namespace

// The coordinates file over the stand-in: the header, one line per
// paragraph of every story of both layouts of the fixture (unique ids,
// rotation, overset), the lines well-formed XML once wrapped in a root, a
// failed analysis and failed writes.
#include "plugin/conversion/exporter_coord.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/run_command.h"
#include "tests/plugin/conversion/side_output_util.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

const std::string kRule(80, '-');

TEST(ExporterCoord, TheHeaderIsSevenLinesNamingTheSource) {
  std::ostringstream out;
  WriteCoordinatesHeader(out, "/work/Brochure caf\xC3\xA9.qxp");
  EXPECT_EQ(out.str(), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<!--\n" + kRule +
                           "\nParagraph coordinates:\n/work/Brochure caf\xC3\xA9.qxp\n" + kRule + "\n-->\n");
}

// The lines of every layout of the current document after the header; the
// highest unique id of each layout in *highest.
std::vector<std::string> CoordinateLines(const std::string& path, std::vector<int32_t>* highest) {
  std::set<int32_t> ids;
  {
    std::ofstream out(path, std::ios::binary);
    WriteCoordinatesHeader(out, "/source.qxp");
    side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t) {
      std::unique_ptr<ExporterCoord> exporter = ExporterCoord::Create(document, &out, &ids);
      EXPECT_EQ(exporter->Run(), 0);
      highest->push_back(exporter->highestUniqueId);
    });
    EXPECT_TRUE(out.good());
  }
  std::vector<std::string> lines;
  std::istringstream in(testutil::ReadFile(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return std::vector<std::string>(lines.begin() + std::min<size_t>(7, lines.size()), lines.end());
}

TEST(ExporterCoord, EveryParagraphOfBothLayouts) {
  MixerHost host;
  host.Open("doc_tags.json");
  std::vector<int32_t> highest;
  const std::string path = host.Path("tags.coo");
  const std::vector<std::string> lines = CoordinateLines(path, &highest);
  EXPECT_EQ(highest, (std::vector<int32_t>{9, 12}));

  // Print: the anchored box (analysed before its holder), story 1 (3
  // paragraphs), the rotated box, the pasteboard box, the overset box (3),
  // the second page; then Web (2).
  ASSERT_EQ(lines.size(), 12u) << testutil::ReadFile(path);
  const std::regex shape(
      R"re(<coord><p uid="-?\d+" page="\d+"( angle="\d+")?( y_pos="-?\d+" x_pos="-?\d+"| x_pos="-?\d+" y_pos="-?\d+") width="\d+" height="\d+"/></coord>)re");
  std::vector<std::string> uids;
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, shape)) << line;
    uids.push_back(line.substr(15, line.find('"', 15) - 15));
    // Only the turned box has an angle, and it is 90.
    EXPECT_EQ(line.find(" angle=") != std::string::npos, line.find("uid=\"9\"") != std::string::npos) << line;
    if (line.find(" angle=") != std::string::npos) {
      EXPECT_NE(line.find(" angle=\"90\""), std::string::npos);
    }
  }
  // Ids as tagged; 7 again in the web layout (the set only keeps it out of
  // the container twice).
  EXPECT_EQ(uids, (std::vector<std::string>{"-1", "-1", "7", "8", "9", "-1", "-1", "-1", "-1", "-1", "7", "12"}));

  // The overset box: its first paragraph found (y before x), the two
  // overset ones repeat its values with x first.
  const std::regex found(R"re(<coord><p uid="-1" page="1" y_pos="(-?\d+)" x_pos="(-?\d+)" width="(\d+)" height="(\d+)"/></coord>)re");
  std::smatch first;
  ASSERT_TRUE(std::regex_match(lines[6], first, found)) << lines[6];
  const std::string repeated = "<coord><p uid=\"-1\" page=\"1\" x_pos=\"" + first[2].str() + "\" y_pos=\"" +
                               first[1].str() + "\" width=\"" + first[3].str() + "\" height=\"" + first[4].str() +
                               "\"/></coord>";
  EXPECT_EQ(lines[7], repeated);
  EXPECT_EQ(lines[8], repeated);
  // The pasteboard box left of the spread takes its first page; the box on
  // the second page its number.
  EXPECT_NE(lines[5].find(" page=\"1\""), std::string::npos) << lines[5];
  EXPECT_NE(lines[9].find(" page=\"2\""), std::string::npos) << lines[9];

  // The lines in a root are well-formed; the file as written is not XML.
  std::string body;
  for (const std::string& line : lines) body += line + "\n";
  testutil::WriteFile(host.Path("wrapped.xml"), "<coords>\n" + body + "</coords>\n");
  int status = -1;
  testutil::RunCommand("xmllint --noout " + testutil::ShellQuote(host.Path("wrapped.xml")), &status);
  EXPECT_EQ(status, 0);
  testutil::RunCommand("xmllint --noout " + testutil::ShellQuote(path), &status);
  EXPECT_NE(status, 0);
}

TEST(ExporterCoord, AnAnalysisThatFailedAfterTaggingWritesWithoutDividingByZero) {
  MixerHost host;
  host.Open("doc_tags.json");
  host.Fail("master_count:*");
  std::set<int32_t> ids;
  std::ostringstream out;
  side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t index) {
    if (index != 0) return;
    std::unique_ptr<ExporterCoord> exporter = ExporterCoord::Create(document, &out, &ids);
    EXPECT_EQ(exporter->mapper().StoryCount(), 0);
    EXPECT_NE(exporter->mapper().FindBox(0), 0);  // the tags are there
    EXPECT_EQ(exporter->Run(), 0);
  });
  EXPECT_NE(out.str().find("<coord><p uid=\"7\""), std::string::npos) << out.str();
}

TEST(ExporterCoord, AFailedWriteLeavesTheStreamBad) {
  MixerHost host;
  host.Open("doc_tags.json");
  std::set<int32_t> ids;
  // A full device fails the first flush; a stream bad from the start takes
  // no unique id into the shared set.
  std::ofstream full("/dev/full", std::ios::binary);
  ASSERT_TRUE(full.is_open());
  std::ostringstream bad;
  bad.setstate(std::ios::badbit);
  for (std::ostream* out : {static_cast<std::ostream*>(&full), static_cast<std::ostream*>(&bad)}) {
    ids.clear();
    side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t index) {
      if (index == 0) ExporterCoord::Create(document, out, &ids)->Run();
    });
    EXPECT_TRUE(out->bad());
  }
  EXPECT_TRUE(ids.empty());
}

}  // namespace

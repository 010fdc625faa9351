// Box records of the layout fixture: the host's kind answers as bits, the
// location, the master spread's name, and the host failures a record
// survives.
#include "plugin/mixer/box_records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "plugin/mixer/api_failure.h"
#include "plugin/mixer/box_registries.h"
#include "tests/plugin/mixer/master_host_util.h"

namespace {

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(BoxRecords, KindBitsAndLocationsFromTheHost) {
  MasterHost host;
  host.OpenLayouts();
  const struct {
    int32_t id;
    uint32_t bits;
    int16_t spread;
    int16_t page;
    int16_t master;
  } cases[] = {
      {12, 0x01, 1, 0, 0},         // text box
      {16, 0x01 | 0x80, 1, 0, 0},  // rotated
      {35, 0x01 | 0x20, 1, 0, 0},  // anchored in the chain's story, shown in box 12
      {30, 0x02 | 0x20, 3, 0, 1},  // picture anchored in a master box
      {32, 0x10 | 0x20, 1, 0, 0},  // group anchored in box 16
      {27, 0x08, 1, 0, 0},         // line
      {72, 0x04, 3, 0, 0},         // empty box
      {1, 0x01, 3, 0, 1},          // master box
      {63, 0x01, 2, 0, 0},         // copy on the first page of spread 2
      {14, 0x01, 2, 1, 0},         // chain's last box, on the second page
  };
  for (const auto& c : cases) {
    const ct_Box box(host.Item(c.id), 0);
    EXPECT_EQ(box.box, host.Item(c.id));
    EXPECT_EQ(box.kindBits, c.bits) << c.id;
    EXPECT_EQ(box.Spread(), c.spread) << c.id;
    EXPECT_EQ(box.location.page, c.page) << c.id;
    EXPECT_EQ(box.location.master, c.master) << c.id;
    EXPECT_EQ(box.masterFlag, 0);
    EXPECT_EQ(box.id, -1);
  }
  EXPECT_EQ(ProductPrefix(), "Brenix ");
}

TEST(BoxRecords, NoBoxAsksNoLocation) {
  MasterHost host;
  host.OpenLayouts();
  host.Fail("item_location:*,master_name:*");
  const ct_Box none(0, 1);
  EXPECT_EQ(none.kindBits, 0u);
  EXPECT_EQ(none.masterFlag, 1);
  EXPECT_EQ(none.id, -1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&none.location), sizeof none.location),
            std::string(sizeof none.location, '\0'));
  // Master records without a box or with a page below 1 are invalid and
  // ask the host no name.
  host.Fail("master_name:*");
  for (const auto& [id, page] : {std::pair<int32_t, uint16_t>{0, 1}, {1, 0}, {1, 0xFFFF}}) {
    const ct_MBox master(id == 0 ? 0 : host.Item(id), page);
    EXPECT_EQ(master.spreadName, "<INVALID>") << id << " " << page;
    EXPECT_EQ(master.masterFlag, 1);
    EXPECT_TRUE(master.users.empty());
  }
  const auto lines = host.Lines();
  EXPECT_FALSE(HasLine(lines, "fail item_location #1"));
  EXPECT_FALSE(HasLine(lines, "fail master_name #1"));
}

TEST(BoxRecords, MasterSpreadNames) {
  const struct {
    const char* fail;
    int32_t id;
    const char* name;
    const char* report;  // with testMode 1
  } cases[] = {
      {"", 1, "A-Master", ""},
      {"", 5, "B-Unused", ""},
      {"master_name:1", 1, "<ERROR>", "CHECK_ONLY>:\tMixer[1561]:ct_MBox::ct_MBox()"},
      {"convert_to_text:1", 1, "<ERROR>", ""},
      {"item_location:1", 1, "<ERROR>", ""},  // no location: no master spread 0
  };
  for (const auto& c : cases) {
    MasterHost host;
    host.LoadSettings(0, 1);
    host.OpenLayouts();
    host.Fail(c.fail);
    LogCapture log;
    const ct_MBox master(host.Item(c.id), c.id == 5 ? 2 : 1);
    EXPECT_EQ(master.spreadName, c.name) << c.fail;
    if (*c.report != '\0') {
      EXPECT_EQ(log.Text(), "\n" + std::string(80, ':') + "\nAPI_FAILURE<" + c.report + "\n" +
                                std::string(80, ':') + "\n")
          << c.fail;
    }
    EXPECT_EQ(host.OpenHandles(), 0u) << c.fail;
  }
}

TEST(BoxRecords, AFailedLocationIsReportedAndLeftZero) {
  MasterHost host;
  host.LoadSettings(0, 1);
  host.OpenLayouts();
  host.Fail("item_location:1");
  LogCapture log;
  const ct_Box box(host.Item(63), 0);
  EXPECT_EQ(box.kindBits, 0x01u);
  EXPECT_EQ(box.Spread(), 0);
  EXPECT_EQ(log.Text(), ApiFailureText(ApiPolicy::kReturnEmpty, "Mixer", 1512, "ct_Box::ct_Box"));
}

}  // namespace

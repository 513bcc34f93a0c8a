// Unit filters, progress events and the exit status of a station run.
#include <gtest/gtest.h>

#include "station/ProgressThrottle.h"
#include "station/StationTally.h"
#include "station/UnitIdentity.h"

namespace kvm::station {
namespace {

TEST(StationPieces, FiltersServeUnitsMatchingAnyPortOrSerial) {
  const TUnitIdentity a{"1-2.3", "PRG-1", "/dev/hidraw0"};
  const TUnitIdentity b{"1-2.4", "", "/dev/hidraw1"};
  struct Case {
    std::vector<std::string> Ports, Serials;
    bool ServesA, ServesB;
  } cases[] = {
      {{}, {}, true, true},
      {{"1-2.3"}, {}, true, false},
      {{"1-2.4", "1-2.3"}, {}, true, true},
      {{}, {"PRG-1"}, true, false},
      {{}, {""}, false, true},  // an empty serial can be asked for
      {{"1-2.3"}, {"OTHER"}, true, false},  // any one filter that matches serves
      {{"1-2.4"}, {"PRG-1"}, true, true},
      {{}, {"prg-1"}, true, false},  // serials in any letter case
      {{"1-9"}, {"OTHER"}, false, false},
  };
  for (const Case& c : cases) {
    const TUnitFilter filter(c.Ports, c.Serials);
    EXPECT_EQ(filter.Serves(a), c.ServesA);
    EXPECT_EQ(filter.Serves(b), c.ServesB);
  }
  EXPECT_EQ(a.Prefix(), "[1-2.3 PRG-1] ");
  EXPECT_EQ(b.Prefix(), "[1-2.4 ] ");
  EXPECT_EQ(a.Json()["node"].toString(), "/dev/hidraw0");
}

TEST(StationPieces, ProgressThrottleIsRateLimitedAndTheLastBlockAlwaysGoesOut) {
  // 110 bytes: three blocks carrying 48, 56 and 6 image bytes.
  TProgressThrottle progress(110, 3, 1000, 250);
  EXPECT_FALSE(progress.Admit(1, 1100));
  EXPECT_TRUE(progress.Admit(1, 1250));
  EXPECT_FALSE(progress.Admit(2, 1400));
  EXPECT_TRUE(progress.Admit(3, 1401));   // the last block, however soon
  EXPECT_FALSE(progress.Admit(3, 2000));  // and only once

  const QJsonObject halfway = progress.Figures(1, 2000);
  EXPECT_EQ(halfway["block"].toInt(), 1);
  EXPECT_EQ(halfway["blocks"].toInt(), 3);
  EXPECT_EQ(halfway["bytes_per_s"].toInt(), 48);
  EXPECT_DOUBLE_EQ(halfway["eta_s"].toDouble(), 1.3);  // 62 bytes left at 48 per second
  EXPECT_TRUE(progress.Figures(0, 1000)["eta_s"].isNull());

  EXPECT_EQ(TProgressThrottle::ImageBytesThrough(0, 110), 0);
  EXPECT_EQ(TProgressThrottle::ImageBytesThrough(2, 110), 104);
  EXPECT_EQ(TProgressThrottle::ImageBytesThrough(3, 110), 110);
  EXPECT_EQ(TProgressThrottle::ImageBytesThrough(1, 20), 20);
}

TEST(StationPieces, ExitStatusFollowsTheUnits) {
  struct Case {
    TStationTally Tally;
    int Exit;
  } cases[] = {
      {{0, 0, false, false, {}}, 3}, {{2, 0, false, false, {}}, 0}, {{2, 1, false, false, {}}, 1},
      {{0, 1, false, false, {}}, 1}, {{1, 0, true, false, {}}, 4}, {{0, 0, true, false, {}}, 4},
      {{1, 0, false, true, {}}, 1},  {{1, 0, false, false, {"events lost: write"}}, 1},
      {{1, 0, true, false, {"events lost: write"}}, 4},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Tally.ExitCode(), c.Exit);
}

}  // namespace
}  // namespace kvm::station

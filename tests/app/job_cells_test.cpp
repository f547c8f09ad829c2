// The probed-value cells of a job row.

#include "app/job_cells.h"

#include <gtest/gtest.h>

#include "engine/binding/av_api.h"

namespace {

TEST(JobCellsTest, FrameRatesRoundToTwoDecimalsInTheirShortestForm) {
  EXPECT_EQ(FrameRateCell(30000, 1001), "29.97");
  EXPECT_EQ(FrameRateCell(25, 1), "25");
  EXPECT_EQ(FrameRateCell(24000, 1001), "23.98");
  EXPECT_EQ(FrameRateCell(60000, 1001), "59.94");
  EXPECT_EQ(FrameRateCell(299, 10), "29.9");
  EXPECT_EQ(FrameRateCell(1, 3), "0.33");
  EXPECT_EQ(FrameRateCell(0, 1), "0");
  EXPECT_EQ(FrameRateCell(90000, 1), "90000");
  EXPECT_EQ(FrameRateCell(-30000, 1001), "-29.97");
  EXPECT_EQ(FrameRateCell(-1, 3), "-0.33");
  EXPECT_EQ(FrameRateCell(25, 0), "Unknown");
}

TEST(JobCellsTest, DurationsAreHoursMinutesSeconds) {
  EXPECT_EQ(FormatDuration(3725, ':'), "01:02:05");
  EXPECT_EQ(FormatDuration(59, ':'), "00:00:59");
  EXPECT_EQ(FormatDuration(360000, ':'), "100:00:00");
  EXPECT_EQ(FormatDuration(0, ':'), "00:00:00");
  EXPECT_EQ(FormatDuration(3599.6, '.'), "00.59.60");  // the rest is rounded on its own
  EXPECT_EQ(DurationCell(3725400000), "01:02:05");
  EXPECT_EQ(DurationCell(59999999), "00:00:59");  // whole seconds, truncated
  EXPECT_EQ(DurationCell(360000LL * 1000000), "100:00:00");
}

TEST(JobCellsTest, UnknownAndNegativeDurationsShowUnknown) {
  EXPECT_EQ(DurationCell(AV_NOPTS_VALUE), "Unknown");
  EXPECT_EQ(DurationCell(-5000000), "Unknown");
  EXPECT_EQ(DurationCell(-999999), "00:00:00");  // truncates to zero whole seconds
}

}  // namespace

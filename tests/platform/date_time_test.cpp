#include <capturekit/platform/date_time.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace capturekit;

TEST(Dates, ISO8601IsUTCWithZAndTruncatedSecondsAndParsingHonoursOffsetsAndFractions) {
    const Date date = dates::parseISO8601("2026-03-01T09:30:00Z").value();
    EXPECT_EQ(dates::iso8601(date + std::chrono::milliseconds(999)), "2026-03-01T09:30:00Z");
    // Dates before 1970 truncate towards the earlier second, never print a negative fraction.
    EXPECT_EQ(dates::iso8601(dates::parseISO8601("1969-12-31T23:59:59.750Z").value()),
              "1969-12-31T23:59:59Z");
    EXPECT_EQ(dates::parseISO8601("2026-03-01T10:30:00+01:00"), date);
    EXPECT_EQ(dates::parseISO8601("2026-03-01T09:30:00.25Z"),
              date + std::chrono::milliseconds(250));
    for (const char* bad : {"2026-02-30T00:00:00Z", "2026-03-01T24:00:00Z", "2026-03-01T09:30:00",
                            "2026-03-01 09:30:00Z", "2026-3-1T09:30:00Z", "2026-03-01T09:30:00Zx",
                            "2026-03-01T09:30:00.Z", "", "0000-01-01T00:00:00Z"}) {
        EXPECT_FALSE(dates::parseISO8601(bad)) << bad;
    }
}

TEST(Dates, StoredFormCountsSecondsFrom2001AndReadsBackToTheSameMicrosecond) {
    EXPECT_EQ(dates::iso8601(dates::referenceDate), "2001-01-01T00:00:00Z");
    const Date date = dates::fromSecondsSince2001(794050200.5).value();
    EXPECT_EQ(dates::iso8601(date), "2026-03-01T09:30:00Z");
    EXPECT_DOUBLE_EQ(dates::secondsSince2001(date), 794050200.5);
    EXPECT_DOUBLE_EQ(dates::secondsSince1970(date), 1772357400.5);
    for (const double unusable : {std::numeric_limits<double>::infinity(), std::nan(""), 1e300}) {
        EXPECT_FALSE(dates::fromSecondsSince2001(unusable)) << unusable;
    }
    // Doubles near 8e8 seconds cannot hold every microsecond exactly; reading back must round,
    // not truncate, or a stored date comes back one microsecond early.
    for (long long micros : {794050200220153LL, 794050200408744LL, 794050200799308LL, -1LL}) {
        const Date stored = dates::referenceDate + std::chrono::microseconds(micros);
        EXPECT_EQ(dates::fromSecondsSince2001(dates::secondsSince2001(stored)), stored) << micros;
    }
}

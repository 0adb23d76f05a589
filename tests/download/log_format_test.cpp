// Numbers, times and settings as the engine writes and reads them.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "download/engine_fixture.h"
#include "download/log_format.h"
#include "download/settings.h"

namespace gathrix::test {
namespace {

using std::chrono::milliseconds;

TEST(LogFormatTest, NumbersHaveOneBlankOrAMinusSign) {
    EXPECT_EQ(FormatNumber(0), " 0");
    EXPECT_EQ(FormatNumber(42), " 42");
    EXPECT_EQ(FormatNumber(-1), "-1");
    EXPECT_EQ(FormatNumber(32768), " 32768");
    EXPECT_EQ(FormatNumber(-40000), "-40000");
    EXPECT_EQ(ProgressCaption(12), "Download in progress... 12 files finished.");
    EXPECT_EQ(ProgressCaption(-1), "Download in progress...-1 files finished.");
}

TEST(LogFormatTest, TimeOfDayIsEightCharactersRoundedToTheSecond) {
    EXPECT_EQ(FormatTimeOfDay(LocalTime(2024, 3, 9, 0, 0, 0)), "00:00:00");
    EXPECT_EQ(FormatTimeOfDay(LocalTime(2024, 3, 9, 7, 8, 9)), "07:08:09");
    EXPECT_EQ(FormatTimeOfDay(LocalTime(2024, 3, 9, 23, 59, 58) + milliseconds(600)), "23:59:59");
    EXPECT_EQ(FormatTimeOfDay(LocalTime(2024, 3, 9, 13, 45, 1) + milliseconds(400)), "13:45:01");
}

TEST(LogFormatTest, ElapsedSecondsRoundsBothEndsAndCountsAcrossDays) {
    const auto start = LocalTime(2024, 3, 9, 12, 0, 0);
    EXPECT_EQ(ElapsedSeconds(start, start), 0);
    EXPECT_EQ(ElapsedSeconds(start + milliseconds(400), start + milliseconds(1600)), 2);
    EXPECT_EQ(ElapsedSeconds(LocalTime(2024, 3, 9, 23, 59, 59), LocalTime(2024, 3, 10, 0, 0, 1)), 2);
    EXPECT_EQ(ElapsedSeconds(start, LocalTime(2024, 3, 11, 12, 0, 5)), 2 * 86400 + 5);
}

TEST(SettingsTest, DefaultsAreTheLiveServices) {
    ScopedEnv a("GATHRIX_FLICKR_BASE_URL", std::nullopt);
    ScopedEnv b("GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX", std::nullopt);
    ScopedEnv c("GATHRIX_WEBSHOTS_FULLSIZE_BASE", "");
    ScopedEnv d("GATHRIX_REQUEST_TIMEOUT", std::nullopt);
    const Settings s = Settings::FromEnvironment();
    EXPECT_EQ(s.flickr_base_url, "http://www.flickr.com");
    EXPECT_EQ(s.webshots_thumbnail_prefix, "http://thumb");
    EXPECT_EQ(s.webshots_fullsize_base, "http://community.webshots.com");
    EXPECT_EQ(s.request_timeout, std::chrono::seconds(60));
}

TEST(SettingsTest, EnvironmentPointsTheEngineElsewhere) {
    ScopedEnv a("GATHRIX_FLICKR_BASE_URL", "http://127.0.0.1:8080");
    ScopedEnv b("GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX", "http://127.0.0.1:8080/thumb");
    ScopedEnv c("GATHRIX_WEBSHOTS_FULLSIZE_BASE", "http://127.0.0.1:8080/community");
    ScopedEnv d("GATHRIX_REQUEST_TIMEOUT", "3");
    const Settings s = Settings::FromEnvironment();
    EXPECT_EQ(s.flickr_base_url, "http://127.0.0.1:8080");
    EXPECT_EQ(s.webshots_thumbnail_prefix, "http://127.0.0.1:8080/thumb");
    EXPECT_EQ(s.webshots_fullsize_base, "http://127.0.0.1:8080/community");
    EXPECT_EQ(s.request_timeout, std::chrono::seconds(3));
}

TEST(SettingsTest, TimeOutThatIsNotAWholePositiveNumberIsIgnored) {
    for (const char* bad : {"abc", "0", "-5", "2.5", " 7", "99999999999999999999", "100000"}) {
        ScopedEnv d("GATHRIX_REQUEST_TIMEOUT", bad);
        EXPECT_EQ(Settings::FromEnvironment().request_timeout, std::chrono::seconds(60)) << bad;
    }
}

TEST(SettingsTest, JobsThatAreNoNumberAreHandedToTheFrontEnd) {
    ScopedEnv jobs("GATHRIX_JOBS", "17");
    const Settings s = Settings::FromEnvironment();
    EXPECT_EQ(s.jobs, 1);
    EXPECT_EQ(s.rejected_jobs, "17");
    ScopedEnv good("GATHRIX_JOBS", "4");
    EXPECT_EQ(Settings::FromEnvironment().rejected_jobs, std::nullopt);
}

// Rates as curl's tools write them: k, m and g are powers of 1024.
struct RateCase {
    const char* text;
    std::optional<std::int64_t> bytes;
};

// clang-format off
const RateCase kRateCases[] = {
    {"1", 1}, {"2000", 2000}, {"1k", 1024}, {"1K", 1024}, {"1.5k", 1536}, {"3m", 3 * 1024 * 1024},
    {"2M", 2 * 1024 * 1024}, {"1g", 1024LL * 1024 * 1024}, {"1024G", 1024LL * 1024 * 1024 * 1024},
    {"0", 0}, {"0k", 0}, {"0.5", std::nullopt}, {"", std::nullopt}, {"k", std::nullopt}, {"1kb", std::nullopt},
    {"1t", std::nullopt}, {"-1", std::nullopt}, {" 1", std::nullopt}, {"1.", std::nullopt}, {".5k", std::nullopt},
    {"1.2.3", std::nullopt}, {"1025G", std::nullopt}, {"99999999999999999999", std::nullopt},
};
// clang-format on

TEST(SettingsTest, RatesWithTheirSuffixes) {
    for (const RateCase& c : kRateCases) EXPECT_EQ(ParseRate(c.text), c.bytes) << c.text;
}

}  // namespace
}  // namespace gathrix::test

#include "shell/eventlog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "shell/systemtext.h"
#include "support/fakeclock.h"
#include "support/tempfolder.h"

namespace tw {
namespace {

using test::FakeClock;
using test::TempFolder;

class EventLogTest : public ::testing::Test {
  protected:
    TempFolder m_Folder;
    FakeClock m_Clock{MakeLocalTime(2019, 5, 27, 10, 31, 5)};
    EventLog m_Log{m_Folder.Path() + "LogFiles/", m_Clock};
};

TEST_F(EventLogTest, WritesStampedLinesToTheDailyFile) {
    m_Log.WriteEventLog("Tellwick for Zorvan is starting, version 1.0.08");
    m_Log.WriteEventLog("");
    m_Log.WriteEventLog(std::string(80, '-'));
    m_Log.WriteEventLog("two\r\nlines");
    EXPECT_EQ(m_Folder.Read("LogFiles/20190527.Log"),
              "19-05-27 10:31:05 Tellwick for Zorvan is starting, version 1.0.08\r\n"
              "19-05-27 10:31:05 \r\n" +
                  std::string(80, '-') +
                  "\r\n"
                  "19-05-27 10:31:05 two\r\nlines\r\n");
}

TEST_F(EventLogTest, SplitsFilesAtMidnight) {
    m_Clock.Set(MakeLocalTime(2019, 12, 31, 23, 59, 59));
    m_Log.WriteEventLog("before");
    m_Clock.Set(MakeLocalTime(2020, 1, 1, 0, 0, 0));
    m_Log.WriteEventLog("after");
    EXPECT_EQ(m_Folder.Read("LogFiles/20191231.Log"), "19-12-31 23:59:59 before\r\n");
    EXPECT_EQ(m_Folder.Read("LogFiles/20200101.Log"), "20-01-01 00:00:00 after\r\n");
}

TEST_F(EventLogTest, AMissingFolderLosesTheLineSilently) {
    std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
    m_Log.WriteEventLog("lost");
    EXPECT_FALSE(m_Folder.Exists("LogFiles"));
}

TEST_F(EventLogTest, WritesLatin1AsTheSystemCharacterSetDoes) {
    m_Log.WriteEventLog("Got ESPA message: \xC4rende");
    const std::string expected =
        SystemUsesUtf8() ? "Got ESPA message: \xC3\x84rende" : "Got ESPA message: \xC4rende";
    EXPECT_EQ(m_Folder.Read("LogFiles/20190527.Log"), "19-05-27 10:31:05 " + expected + "\r\n");
}

TEST(StampTest, FormatsTwoDigitFields) {
    EXPECT_EQ(FormatStamp(MakeLocalTime(2009, 1, 2, 3, 4, 5)), "09-01-02 03:04:05");
    EXPECT_EQ(EventLogFileName(MakeLocalTime(2009, 1, 2)), "20090102.Log");
}

TEST(LocalTimeTest, MakeLocalTimeFillsWeekdayAndYearDay) {
    const LocalTime t = MakeLocalTime(2024, 12, 31);
    EXPECT_EQ(t.Weekday, 2);  // Tuesday
    EXPECT_EQ(t.YearDay, 365);
}

}  // namespace
}  // namespace tw

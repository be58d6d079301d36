#include "base/eventlog.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "base/logfolder.h"
#include "base/systemtext.h"
#include "support/tempfolder.h"

namespace tw {
namespace {

using test::TempFolder;

class EventLogTest : public ::testing::Test {
  protected:
    TempFolder m_Folder;
    LogFolder m_Logs{m_Folder.Path(), "LogFiles"};
    EventLog m_Log{m_Logs};
    const LocalTime m_Time = MakeLocalTime(2019, 5, 27, 10, 31, 5);
};

TEST_F(EventLogTest, WritesStampedLinesToTheDailyFile) {
    m_Log.WriteEventLog(m_Time, "Tellwick for Zorvan is starting, version 1.0.08");
    m_Log.WriteEventLog(m_Time, "");
    m_Log.WriteEventLog(m_Time, std::string(80, '-'));
    m_Log.WriteEventLog(m_Time, "two\r\nlines");
    EXPECT_EQ(m_Folder.Read("LogFiles/20190527.Log"),
              "19-05-27 10:31:05 Tellwick for Zorvan is starting, version 1.0.08\r\n"
              "19-05-27 10:31:05 \r\n" +
                  std::string(80, '-') +
                  "\r\n"
                  "19-05-27 10:31:05 two\r\nlines\r\n");
}

TEST_F(EventLogTest, SplitsFilesAtMidnight) {
    m_Log.WriteEventLog(MakeLocalTime(2019, 12, 31, 23, 59, 59), "before");
    m_Log.WriteEventLog(MakeLocalTime(2020, 1, 1, 0, 0, 0), "after");
    EXPECT_EQ(m_Folder.Read("LogFiles/20191231.Log"), "19-12-31 23:59:59 before\r\n");
    EXPECT_EQ(m_Folder.Read("LogFiles/20200101.Log"), "20-01-01 00:00:00 after\r\n");
}

TEST_F(EventLogTest, LinesAreLostWhileTheFolderIsGoneAndWrittenOnceItIsBack) {
    std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
    m_Log.WriteEventLog(m_Time, "lost");
    EXPECT_FALSE(m_Folder.Exists("LogFiles"));
    std::filesystem::create_directory(m_Folder.Path() + "LogFiles");
    m_Log.WriteEventLog(m_Time, "back");
    EXPECT_EQ(m_Folder.Read("LogFiles/20190527.Log"), "19-05-27 10:31:05 back\r\n");
}

TEST_F(EventLogTest, WritesLatin1AsTheSystemCharacterSetDoes) {
    m_Log.WriteEventLog(m_Time, "Got ESPA message: \xC4rende");
    const std::string expected =
        SystemUsesUtf8() ? "Got ESPA message: \xC3\x84rende" : "Got ESPA message: \xC4rende";
    EXPECT_EQ(m_Folder.Read("LogFiles/20190527.Log"), "19-05-27 10:31:05 " + expected + "\r\n");
}

// Whatever stands at the day log's name in place of a file, or in place of
// the folder, is left as it is.
TEST_F(EventLogTest, WritesNeitherThroughLinksNorIntoFifos) {
    m_Folder.Write("target.txt", "untouched");
    std::filesystem::create_directory(m_Folder.Path() + "elsewhere");
    const std::string day = m_Folder.Path() + "LogFiles/20190527.Log";
    const std::string folder = m_Folder.Path() + "LogFiles";
    const std::function<void()> faults[] = {
        [&] { std::filesystem::create_symlink(m_Folder.Path() + "target.txt", day); },
        [&] { ASSERT_EQ(mkfifo(day.c_str(), 0600), 0); },
        [&] {
            std::filesystem::remove_all(folder);
            std::filesystem::create_directory_symlink(m_Folder.Path() + "elsewhere", folder);
        },
    };
    for (const auto& fault : faults) {
        fault();
        m_Log.WriteEventLog(m_Time, "from the network");
        EXPECT_EQ(m_Folder.Read("target.txt"), "untouched");
        EXPECT_TRUE(std::filesystem::is_empty(m_Folder.Path() + "elsewhere"));
        std::filesystem::remove(day);
    }
}

TEST(LogFolderTest, ALinkedOrMissingFolderIsReportedAtTheStart) {
    TempFolder folder;
    std::filesystem::create_directory(folder.Path() + "elsewhere");
    std::filesystem::create_directory_symlink(folder.Path() + "elsewhere",
                                              folder.Path() + "Linked");
    folder.Write("File", "");
    for (const char* name : {"Linked", "File", "Missing"}) {
        LogFolder logs(folder.Path(), name);
        EXPECT_NE(logs.Error().find(name), std::string::npos) << logs.Error();
        EXPECT_FALSE(logs.Append("x.Log", "line\r\n"));
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path() + "elsewhere"));
    EXPECT_EQ(LogFolder(folder.Path(), "LogFiles").Error(), "");
}

// A file-size limit makes the system take only part of a line, as a full disk
// does: the part is taken back, so the file holds whole lines only.
TEST(LogFolderTest, ALineTheSystemTakesOnlyInPartIsNotLeftHalfWritten) {
    TempFolder folder;
    LogFolder logs(folder.Path(), "LogFiles");
    ASSERT_TRUE(logs.Append("x.Log", "first line\r\n"));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tight{20, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &tight);
    const bool written = logs.Append("x.Log", "second line, too long\r\n");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    ASSERT_TRUE(logs.Append("x.Log", "third line\r\n"));
    EXPECT_EQ(folder.Read("LogFiles/x.Log"), "first line\r\nthird line\r\n");
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

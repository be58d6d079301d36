#include "base/eventlog.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

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

TEST_F(EventLogTest, WritesLatin1AsTheSystemCharacterSetDoes) {
    m_Log.WriteEventLog(m_Time, "Got ESPA message: \xC4rende");
    const std::string expected =
        SystemUsesUtf8() ? "Got ESPA message: \xC3\x84rende" : "Got ESPA message: \xC4rende";
    EXPECT_EQ(m_Folder.Read("LogFiles/20190527.Log"), "19-05-27 10:31:05 " + expected + "\r\n");
}

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

// A vanished folder and a file-size limit (a full disk) are proven against
// the built program (freshness and reliability end-to-end tests).
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

}  // namespace
}  // namespace tw

// What others do to Tellwick.ini and to the log files between two calls is
// seen by the very next call, a few milliseconds later: a changed trace
// switch or template, a moved, deleted or replaced day log, a removed log
// folder. And a call's log line is in the file when its ACK arrives.
#include <cstdio>
#include <functional>

#include "e2e/gatewayprocess.h"

namespace tw::test {
namespace {

class FreshnessE2eTest : public GatewayE2eTest {
  protected:
    void SetUp() override {
        GatewayE2eTest::SetUp();
        m_ListenPort = FreePort();
        const int zorvanPort = FreePort();
        m_Ini = "[General]\nZorvanPort=" + std::to_string(zorvanPort) +
                "\nWatchDogTagName=\nReconnectInterval=1\nUseFormatSection=1\n"
                "[Format]\nT4=[F2]\n" +
                TcpServerSection(0, m_ListenPort);
        m_Folder.Write("Tellwick.ini", m_Ini);
        m_Gateway = Run({});
        ASSERT_TRUE(m_AlarmServer.Connect(zorvanPort, 10000));
        ASSERT_TRUE(m_Station.Connect(m_ListenPort, 10000));
        ASSERT_TRUE(Call("READY"));
        m_Day = "LogFiles/" + TodaysLogName();
    }
    void TearDown() override {
        Stop(std::move(m_Gateway));
        GatewayE2eTest::TearDown();
    }

    // One call on the open connection, answered.
    bool Call(const std::string& text) {
        m_Station.ForgetReceived();
        return m_Station.Send(CallDialogue("123", text)) &&
               m_Station.Receive(kCallAnswer) == kCallAnswer;
    }
    // Tellwick.ini changed in place, or written beside it and renamed over it.
    void EditIni(const std::string& extraGeneral, bool atomic) {
        std::string ini = m_Ini;
        ini.insert(ini.find("[Format]"), extraGeneral);
        if (atomic) {
            m_Folder.Write("Tellwick.ini.new", ini);
            std::filesystem::rename(m_Folder.Path() + "Tellwick.ini.new",
                                    m_Folder.Path() + "Tellwick.ini");
        } else {
            std::FILE* file = std::fopen((m_Folder.Path() + "Tellwick.ini").c_str(), "r+");
            std::fwrite(ini.data(), 1, ini.size(), file);
            std::fclose(file);
        }
    }
    bool Logged(const std::string& name, const std::string& text) const {
        return m_Folder.Read(name).find(text) != std::string::npos;
    }

    int m_ListenPort = 0;
    std::string m_Ini;
    std::string m_Day;
    std::unique_ptr<GatewayProcess> m_Gateway;
    RawSocket m_AlarmServer;
    RawSocket m_Station;
};

TEST_F(FreshnessE2eTest, ChangesToTheSettingsCountForTheNextCall) {
    const std::string trace = "LogFiles/CommDebug.Log";
    for (const bool atomic : {false, true}) {
        SCOPED_TRACE(atomic ? "renamed over" : "in place");
        EditIni("CommDebug=1\n", atomic);
        ASSERT_TRUE(Call("TRACED"));
        EXPECT_TRUE(Logged(trace, "TRACED"));
        EditIni("CommDebug=0\n", atomic);
        ASSERT_TRUE(Call("NOT TRACED"));
        EXPECT_FALSE(Logged(trace, "NOT TRACED"));
    }
    m_Ini.replace(m_Ini.find("T4=[F2]"), 7, "T4=New [F2]");
    EditIni("", true);
    m_AlarmServer.ForgetReceived();
    ASSERT_TRUE(Call("TEMPLATE"));
    EXPECT_NE(m_AlarmServer.ReceiveLines(1).find("|New TEMPLATE|"), std::string::npos)
        << m_AlarmServer.ReadAvailable();
}

TEST_F(FreshnessE2eTest, WhatHappensToTheDayLogCountsForTheNextLine) {
    const std::string day = m_Folder.Path() + m_Day;
    const struct {
        const char* m_Change;
        std::function<void()> m_Do;
    } rows[] = {
        {"moved away", [&] { std::filesystem::rename(day, day + ".moved"); }},
        {"deleted", [&] { std::filesystem::remove(day); }},
        {"replaced",
         [&] {
             m_Folder.Write("LogFiles/other", "other\r\n");
             std::filesystem::rename(m_Folder.Path() + "LogFiles/other", day);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.m_Change);
        row.m_Do();
        const std::string text = std::string("AFTER ") + row.m_Change;
        ASSERT_TRUE(Call(text));
        // Read the moment the ACK is in: the line is already there.
        EXPECT_TRUE(Logged(m_Day, "Got ESPA message: " + text)) << m_Folder.Read(m_Day);
    }
    EXPECT_FALSE(Logged(m_Day + ".moved", "AFTER"));
    EXPECT_EQ(m_Folder.Read(m_Day).substr(0, 7), "other\r\n");

    std::filesystem::remove_all(m_Folder.Path() + "LogFiles");
    ASSERT_TRUE(Call("NO FOLDER"));
    EXPECT_FALSE(m_Folder.Exists("LogFiles"));
    std::filesystem::create_directory(m_Folder.Path() + "LogFiles");
    ASSERT_TRUE(Call("FOLDER BACK"));
    EXPECT_TRUE(Logged(m_Day, "Got ESPA message: FOLDER BACK"));
    EXPECT_FALSE(Logged(m_Day, "NO FOLDER"));
}

}  // namespace
}  // namespace tw::test

// The service registration against a temporary unit folder, readiness
// through a notify socket, and the single-instance lock.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/instancelock.h"
#include "platform/systemdservice.h"
#include "support/tempfolder.h"

namespace tw::test {
namespace {

class ServiceTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("TELLWICK_UNIT_DIR", m_Units.Path().c_str(), 1); }
    void TearDown() override { unsetenv("TELLWICK_UNIT_DIR"); }

    TempFolder m_Units;
    SystemdServiceControl m_Service{"/opt/tell wick/tellwick", "/srv/site 1/"};
};

TEST_F(ServiceTest, InstallWritesANotifyUnitAndUninstallRemovesIt) {
    EXPECT_EQ(m_Service.UnitFilePath(), m_Units.Path() + "tellwickforzorvan.service");
    EXPECT_FALSE(m_Service.Uninstall());  // nothing registered yet

    ASSERT_TRUE(m_Service.Install());
    EXPECT_EQ(m_Units.Read("tellwickforzorvan.service"),
              "[Unit]\n"
              "Description=Tellwick for Zorvan\n"
              "After=network-online.target\n"
              "Wants=network-online.target\n"
              "\n"
              "[Service]\n"
              "Type=notify\n"
              "ExecStart=\"/opt/tell wick/tellwick\" --service --app-folder \"/srv/site 1/\"\n"
              "Restart=on-failure\n"
              "RestartSec=5s\n"
              "WatchdogSec=30s\n"
              "NoNewPrivileges=yes\n"
              "ProtectSystem=full\n"
              "ProtectKernelTunables=yes\n"
              "ProtectKernelModules=yes\n"
              "ProtectControlGroups=yes\n"
              "\n"
              "[Install]\n"
              "WantedBy=multi-user.target\n");

    EXPECT_TRUE(m_Service.Uninstall());
    EXPECT_FALSE(m_Units.Exists("tellwickforzorvan.service"));
}

TEST_F(ServiceTest, InstallFailsWhereTheUnitCannotBeWritten) {
    setenv("TELLWICK_UNIT_DIR", (m_Units.Path() + "missing/folder").c_str(), 1);
    EXPECT_FALSE(m_Service.Install());
}

TEST(ServiceTextTest, IniTextKeepsEverythingButTheOneKey) {
    const struct {
        const char* m_Before;
        const char* m_After;
    } rows[] = {
        {"", "[Parameters]\nRunAsService=1\n"},
        {"[PARAMETERS]\n runasservice = 0\n", "[PARAMETERS]\nRunAsService=1\n"},
        {"[Other]\nA=1\n", "[Other]\nA=1\n[Parameters]\nRunAsService=1\n"},
        {"[Parameters]\nA=1\n\n[Other]\nB=2\n",
         "[Parameters]\nA=1\nRunAsService=1\n\n[Other]\nB=2\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(SetIniText(row.m_Before, "Parameters", "RunAsService", "1"), row.m_After)
            << row.m_Before;
    }
    EXPECT_EQ(QuoteUnitWord("a\"b\\c%d$e f"), "\"a\\\"b\\\\c%%d$$e f\"");
}

TEST(ServiceReadinessTest, StartServiceAndHealthNotifyTheManagerOnlyWhenOneWaits) {
    TempFolder folder;
    SystemdServiceControl service("/usr/bin/tellwick", folder.Path());
    unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(service.StartService());

    const std::string path = folder.Path() + "notify";
    const int manager = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(manager, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "2000000", 1);
    EXPECT_TRUE(service.StartService());
    EXPECT_EQ(service.WatchdogIntervalMs(), 2000);
    service.ReportHealth(true, "port \xE9");
    service.ReportHealth(false, "");
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    EXPECT_EQ(service.WatchdogIntervalMs(), 0);
    const auto receive = [manager] {
        char message[64] = {};
        const ssize_t got = recv(manager, message, sizeof message - 1, MSG_DONTWAIT);
        return std::string(message, got > 0 ? static_cast<size_t>(got) : 0);
    };
    EXPECT_EQ(receive(), "READY=1");
    EXPECT_EQ(receive(), "WATCHDOG=1\nSTATUS=port \xC3\xA9\n");
    EXPECT_EQ(receive(), "");
    close(manager);
}

TEST(InstanceLockTest, OneGatewayPerFolder) {
    TempFolder first;
    TempFolder second;
    std::string error;
    {
        InstanceLock running;
        ASSERT_EQ(running.Acquire(first.Path(), error), InstanceLock::Result::Acquired) << error;
        EXPECT_EQ(first.Read("tellwick.lock"), std::to_string(getpid()) + "\n");
        InstanceLock again;
        EXPECT_EQ(again.Acquire(first.Path(), error), InstanceLock::Result::HeldByOther);
        InstanceLock elsewhere;
        EXPECT_EQ(elsewhere.Acquire(second.Path(), error), InstanceLock::Result::Acquired);
    }
    InstanceLock afterwards;
    EXPECT_EQ(afterwards.Acquire(first.Path(), error), InstanceLock::Result::Acquired);
    InstanceLock nowhere;
    EXPECT_EQ(nowhere.Acquire(first.Path() + "missing/", error), InstanceLock::Result::Failed);
    EXPECT_NE(error.find("missing/tellwick.lock: "), std::string::npos) << error;
}

}  // namespace
}  // namespace tw::test

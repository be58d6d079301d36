#include "ui/qt/mainwindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QStatusBar>
#include <QTime>
#include <QTreeWidget>
#include <vector>

#include "support/fakeclock.h"
#include "ui/qt/debugwindow.h"
#include "widgettest.h"

namespace tw {
namespace {

class MainWindowTest : public ::testing::Test {
  protected:
    void TearDown() override { test::RunDeferredDeletes(); }

    QStringList RowTexts(int column) const {
        QStringList texts;
        for (int row = 0; row < m_Main.Connections()->topLevelItemCount(); ++row) {
            texts << m_Main.Connections()->topLevelItem(row)->text(column);
        }
        return texts;
    }

    test::FakeClock m_Clock;
    MainWindow m_Main{m_Clock, "/nonexistent/debug.txt"};
};

TEST_F(MainWindowTest, RowsKeepPortOrderAndShowWhatTheGatewayWrites) {
    m_Main.AddPortRow(0, "Ward 3");
    m_Main.AddPortRow(5, "Zone \xE4");
    m_Main.AddPortRow(2, "Lift");
    EXPECT_EQ(RowTexts(0), QStringList({"Ward 3", "Lift", QString::fromUtf8("Zone ä")}));
    EXPECT_FALSE(m_Main.HasPortRow(1));

    m_Main.SetPortColumn(5, View::ColumnStatus, "Waiting for connection at port 5000");
    m_Main.SetPortColumn(5, View::ColumnStatus, "Connected to 10.0.0.7:40001");
    m_Main.SetPortColumn(5, View::ColumnNaks, "2");
    EXPECT_EQ(RowTexts(View::ColumnStatus), QStringList({"", "", "Connected to 10.0.0.7:40001"}));
    EXPECT_EQ(RowTexts(View::ColumnNaks), QStringList({"", "", "2"}));
    EXPECT_EQ(m_Main.PortColumn(5, View::ColumnDescription), "Zone \xE4");
}

TEST_F(MainWindowTest, StatusBarShowsTheClocksDateAndTime) {
    m_Main.SetStatusPanel(3, "not a date");
    const QLocale locale = QLocale::system();
    EXPECT_EQ(QString::fromLatin1(m_Main.StatusPanel(3)),
              locale.toString(QDate(2019, 5, 27), QLocale::ShortFormat));
    m_Clock.Set(MakeLocalTime(2019, 5, 28, 0, 0, 1));
    m_Main.RefreshDateAndTime();
    EXPECT_EQ(QString::fromLatin1(m_Main.StatusPanel(3)),
              locale.toString(QDate(2019, 5, 28), QLocale::ShortFormat));
    EXPECT_EQ(QString::fromLatin1(m_Main.StatusPanel(4)),
              locale.toString(QTime(0, 0, 1), QLocale::ShortFormat));
}

TEST_F(MainWindowTest, CounterPanelWidensToItsTextAndTheLinkPanelGivesWayFirst) {
    const auto* link = m_Main.statusBar()->findChild<QLabel*>("StatusBar_Panel1");
    const auto* counters = m_Main.statusBar()->findChild<QLabel*>("StatusBar_Panel2");
    ASSERT_NE(link, nullptr);
    ASSERT_NE(counters, nullptr);
    const auto textWidth = [](const QLabel* panel) {
        return panel->fontMetrics().horizontalAdvance(panel->text());
    };
    const auto room = [](const QLabel* panel) {
        return panel->contentsRect().width() - panel->indent() - 2 * panel->margin();
    };
    m_Main.SetStatusPanel(1, "Waiting for Zorvan connection at port 14000");
    m_Main.SetStatusPanel(2, "Zorvan TxBytes:2147483647, RxBytes:2147483647");
    m_Main.show();
    // The counters always show their whole text; the link panel gives way,
    // and gets its full width back on a wide window.
    for (const int width : {test::Scaled(m_Main, 582), test::Scaled(m_Main, 1100)}) {
        SCOPED_TRACE(width);
        m_Main.resize(width, m_Main.height());
        QCoreApplication::processEvents();
        EXPECT_EQ(m_Main.width(), width);
        EXPECT_GE(room(counters), textWidth(counters));
        EXPECT_LE(link->width(), test::Scaled(m_Main, 379));
    }
    EXPECT_EQ(link->width(), test::Scaled(m_Main, 379));
}

TEST_F(MainWindowTest, EachCloseReportsItsReasonOnce) {
    const struct {
        const char* Name;
        std::function<void(MainWindow&)> Close;
        int Reason;
        bool Shown;
    } rows[] = {
        {"File, Exit", [](MainWindow& main) { main.ExitEntry()->trigger(); }, 1, true},
        {"title bar", [](MainWindow& main) { main.close(); }, 0, true},
        {"service stop while hidden", [](MainWindow& main) { main.CloseWithReason(1); }, 1, false},
        {"system shutdown", [](MainWindow& main) { main.CloseWithReason(2); }, 2, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        MainWindow main(m_Clock, "/nonexistent/debug.txt");
        std::vector<int> reasons;
        main.SetCloseHandler([&reasons](int reason) { reasons.push_back(reason); });
        main.setVisible(row.Shown);
        row.Close(main);
        main.close();
        EXPECT_EQ(reasons, std::vector<int>({row.Reason}));
        EXPECT_FALSE(main.isVisible());
    }
}

TEST_F(MainWindowTest, ShowDebugOpensAndClosesAFreshDebugWindow) {
    QAction* menuDebug = m_Main.DebugEntry();
    m_Main.AddDebugLine("dropped while closed");

    menuDebug->trigger();
    DebugWindow* debug = m_Main.OpenDebugWindow();
    ASSERT_NE(debug, nullptr);
    EXPECT_TRUE(menuDebug->isChecked());
    EXPECT_TRUE(debug->isVisible());
    EXPECT_EQ(debug->windowModality(), Qt::NonModal);

    m_Main.AddDebugLine("10:31:05 Tx -> 0: <ACK>");
    debug->Flush();
    debug->SetShowLastRow(false);
    EXPECT_EQ(debug->Lines(), std::vector<std::string>({"10:31:05 Tx -> 0: <ACK>"}));

    menuDebug->trigger();
    EXPECT_EQ(m_Main.OpenDebugWindow(), nullptr);
    EXPECT_FALSE(menuDebug->isChecked());

    menuDebug->trigger();
    QPointer<DebugWindow> fresh = m_Main.OpenDebugWindow();
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->Lines().empty());
    EXPECT_TRUE(fresh->ShowLastRow());
    m_Main.close();  // closes the debug window too
    EXPECT_TRUE(fresh.isNull() || !fresh->isVisible());
}

TEST_F(MainWindowTest, ClosingTheDebugWindowUnchecksShowDebugAndStopsTheTrace) {
    m_Main.ToggleDebugWindow();
    QPointer<DebugWindow> debug = m_Main.OpenDebugWindow();
    debug->close();
    EXPECT_FALSE(m_Main.DebugEntry()->isChecked());
    EXPECT_EQ(m_Main.OpenDebugWindow(), nullptr);
    m_Main.AddDebugLine("after close");
    test::RunDeferredDeletes();
    EXPECT_TRUE(debug.isNull());
}

}  // namespace
}  // namespace tw

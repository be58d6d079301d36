#include "ui/qt/debugwindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDeadlineTimer>
#include <QListView>
#include <QMenu>
#include <QScrollBar>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fakeclock.h"
#include "support/tempfolder.h"
#include "ui/debuginfo.h"
#include "widgettest.h"

namespace tw {
namespace {

std::vector<std::string> NumberedLines(int first, int last) {
    std::vector<std::string> lines;
    for (int number = first; number <= last; ++number) {
        lines.push_back("line " + std::to_string(number));
    }
    return lines;
}

class DebugWindowTest : public ::testing::Test {
  protected:
    void Add(int first, int last) {
        for (const std::string& line : NumberedLines(first, last)) {
            m_Debug.AddDebugLine(line);
        }
    }

    test::TempFolder m_Folder;
    test::FakeClock m_Clock;
    DebugWindow m_Debug{m_Clock, m_Folder.Path() + kDebugInfoFileName};
};

TEST_F(DebugWindowTest, KeepsTheNewest500LinesHoweverTheyAreBatched) {
    const std::vector<std::vector<int>> batchings = {
        {501}, {300, 201}, {1, 500}, {500, 1}, {10000}};
    for (const auto& batches : batchings) {
        SCOPED_TRACE(batches.size());
        m_Debug.ClearList();
        int last = 0;
        for (int size : batches) {
            Add(last + 1, last + size);
            m_Debug.Flush();
            last += size;
        }
        EXPECT_EQ(m_Debug.Lines(), NumberedLines(last - 499, last));
        EXPECT_EQ(m_Debug.List()->model()->rowCount(), 500);
    }
}

TEST_F(DebugWindowTest, QueuedLinesReachTheListWithoutAnExplicitFlush) {
    Add(1, 3);
    EXPECT_TRUE(m_Debug.Lines().empty());
    const QDeadlineTimer deadline(10000);
    while (m_Debug.Lines().empty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }
    EXPECT_EQ(m_Debug.Lines(), NumberedLines(1, 3));
}

TEST_F(DebugWindowTest, ShowLastRowSelectsTheNewestLineAndBringsItIntoView) {
    m_Debug.show();
    Add(1, 200);
    m_Debug.Flush();
    const QModelIndex last = m_Debug.List()->model()->index(199, 0);
    EXPECT_EQ(m_Debug.List()->currentIndex(), last);
    EXPECT_TRUE(m_Debug.List()->viewport()->rect().intersects(m_Debug.List()->visualRect(last)));
}

TEST_F(DebugWindowTest, WithShowLastRowOffNewLinesLeaveSelectionAndViewAlone) {
    m_Debug.show();
    m_Debug.findChild<QAction*>("Menu_ShowLast")->trigger();
    EXPECT_FALSE(m_Debug.ShowLastRow());
    Add(1, 100);
    m_Debug.Flush();
    const QModelIndex chosen = m_Debug.List()->model()->index(2, 0);
    m_Debug.List()->setCurrentIndex(chosen);
    const int scrolled = m_Debug.List()->verticalScrollBar()->value();

    Add(101, 200);
    m_Debug.Flush();
    EXPECT_EQ(m_Debug.List()->currentIndex(), chosen);
    EXPECT_EQ(m_Debug.List()->verticalScrollBar()->value(), scrolled);
}

// Clear drops the listed lines and those still queued.
TEST_F(DebugWindowTest, SaveAppendsOneNumberedBlockPerSave) {
    m_Debug.SaveDebugInfo();
    Add(1, 2);
    m_Debug.SaveDebugInfo();
    Add(3, 4);
    m_Debug.findChild<QAction*>("Menu_Clear")->trigger();
    m_Debug.AddDebugLine("after clear");
    m_Clock.Set(MakeLocalTime(2020, 1, 2, 3, 4, 5));
    m_Debug.findChild<QAction*>("Menu_Save")->trigger();

    const LocalTime first = MakeLocalTime(2019, 5, 27, 10, 31, 5);
    EXPECT_EQ(m_Folder.Read("debug.txt"),
              FormatDebugInfo({}, first) + FormatDebugInfo(NumberedLines(1, 2), first) +
                  FormatDebugInfo({"after clear"}, MakeLocalTime(2020, 1, 2, 3, 4, 5)));
    EXPECT_EQ(m_Debug.Lines(), std::vector<std::string>({"after clear"}));
}

TEST_F(DebugWindowTest, AFailedSaveIsReportedAndTheListStays) {
    std::filesystem::create_directory(m_Folder.Path() + "debug.txt");
    QStringList problems;
    m_Debug.SetProblemReporter([&problems](const QString& message) { problems << message; });
    Add(1, 2);
    m_Debug.SaveDebugInfo();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems.front().contains(QString::fromStdString(m_Folder.Path() + "debug.txt")));
    EXPECT_EQ(m_Debug.Lines(), NumberedLines(1, 2));
}

}  // namespace
}  // namespace tw

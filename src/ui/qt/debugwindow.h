// The debug window: the live communication trace, its newest 500 lines, with
// a menu to save them to debug.txt, to keep the newest line in view and to
// clear the list. It is created each time the operator opens it and destroyed
// when closed; it has no owner window and is not modal.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "ui/qt/debuglistmodel.h"

class QAction;
class QListView;

namespace tw {

class DebugWindow : public QMainWindow {
  public:
    // clock: the save stamp; saveFile: where Save Debug Info appends. The
    // window starts hidden, with an empty list and "&Always show last row"
    // checked.
    DebugWindow(const Clock& clock, std::string saveFile);

    // Queues one trace line; the list takes queued lines in one batch at most
    // every 50 ms, so a burst of lines costs one update. Only the newest 500
    // queued lines are kept.
    void AddDebugLine(const std::string& line);
    // Moves the queued lines into the list now (the batch timer calls it).
    void Flush();

    // The menu commands.
    void SaveDebugInfo();
    void ClearList();

    bool ShowLastRow() const;
    void SetShowLastRow(bool on);
    // The list's lines, oldest first, without the queued ones.
    std::vector<std::string> Lines() const;
    QListView* List() const { return m_List; }

    // Called once when the window has accepted its close.
    void SetClosedHandler(std::function<void()> handler) { m_Closed = std::move(handler); }
    // Tells the operator about a save that failed; a warning box by default.
    void SetProblemReporter(std::function<void(const QString&)> reporter) {
        m_ReportProblem = std::move(reporter);
    }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenu();
    void ScrollToLastRow();

    const Clock& m_Clock;
    std::string m_SaveFile;
    DebugListModel* m_Model = nullptr;
    QListView* m_List = nullptr;
    QAction* m_MenuShowLast = nullptr;
    std::deque<std::string> m_Pending;
    QTimer m_FlushTimer;
    std::function<void()> m_Closed;
    std::function<void(const QString&)> m_ReportProblem;
};

// "Courier New" 9 point, or the system's fixed-pitch font at 9 point where
// Courier New is not installed.
QFont DebugListFont();

}  // namespace tw

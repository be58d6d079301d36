// The main window: one row per usable port in ListView_Connections, the
// alarm-server state and counters in the status bar, the File and Show
// menus. It implements View for the gateway's logic and owns the debug window
// while that is open.
//
// The window is constructed hidden; the start-up shows it, or leaves it
// hidden when the program runs as a service. The close handler learns every
// close, once, before the window accepts it: reason 1 for File, Exit (and a
// service stop through CloseWithReason), 0 for the title bar or Alt+F4.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>

#include "base/clock.h"
#include "core/portcount.h"
#include "core/view.h"

class QAction;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace tw {

class DebugWindow;

class MainWindow : public QMainWindow, public View {
  public:
    // clock: the date and time panels and the debug window's save stamp;
    // debugSaveFile: where the debug window saves.
    MainWindow(const Clock& clock, std::string debugSaveFile);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // View. Rows keep port order whatever the order of AddPortRow; a second
    // AddPortRow for a port starts its row afresh. Panels 1 and 2 are written
    // by the gateway; 3 (date) and 4 (time) read what the window shows and
    // ignore writes. Writing a column with its current text does nothing.
    void AddPortRow(int16_t port, const std::string& description) override;
    bool HasPortRow(int16_t port) const override;
    std::string PortColumn(int16_t port, Column column) const override;
    void SetPortColumn(int16_t port, Column column, const std::string& text) override;
    std::string StatusPanel(int panel) const override;
    void SetStatusPanel(int panel, const std::string& text) override;
    // Passed to the debug window while it is open, else dropped.
    void AddDebugLine(const std::string& line) override;
    bool DebugWindowOpen() const override { return m_Debug != nullptr; }

    // Start-up: appends " - Version " + version to the caption.
    void AppendVersionToCaption(const std::string& version);
    // Start-up: the Exit entry's caption becomes "&Exit", TAB, "Alt+F4".
    void ShowExitKeyHint();

    void SetCloseHandler(std::function<void(int reason)> handler) {
        m_CloseHandler = std::move(handler);
    }
    // Closes the window with the given reason (1: Exit or a service stop,
    // 2: the system shuts down).
    void CloseWithReason(int reason);

    // Show, Debug: closes the debug window when open, else opens a new one.
    void ToggleDebugWindow();
    // The open debug window, or nullptr.
    DebugWindow* OpenDebugWindow() const { return m_Debug; }

    // Writes the current date and time into panels 3 and 4 (every second).
    void RefreshDateAndTime();

    QTreeWidget* Connections() const { return m_Connections; }
    QAction* ExitEntry() const { return m_MenuExit; }
    QAction* DebugEntry() const { return m_MenuDebug; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void BuildConnectionList(double scale);
    void BuildStatusBar(double scale);
    void BuildMenus();
    void DebugWindowClosed();
    QTreeWidgetItem* Row(int16_t port) const;

    const Clock& m_Clock;
    std::string m_DebugSaveFile;
    QTreeWidget* m_Connections = nullptr;
    std::array<QTreeWidgetItem*, kPortCount> m_PortListItem{};
    std::array<QLabel*, PanelTime> m_Panels{};
    QAction* m_MenuExit = nullptr;
    QAction* m_MenuDebug = nullptr;
    DebugWindow* m_Debug = nullptr;
    QTimer m_DateTimeTimer;
    std::function<void(int)> m_CloseHandler;
    int m_CloseReason = 0;  // StopReason of the close under way
    bool m_CloseReported = false;
};

}  // namespace tw

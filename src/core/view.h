// What the gateway's logic shows to the operator: one row per usable port in
// the connection list, the status bar and the debug window. The windowed
// program implements it with Qt widgets; headless, MemoryView keeps the texts.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

class View {
  public:
    enum Column : int {
        ColumnDescription = 0,
        ColumnStatus = 1,
        ColumnTxBytes = 2,
        ColumnRxBytes = 3,
        // The port's totals, refreshed by the once-a-second pass.
        ColumnLastCall = 4,
        ColumnCalls = 5,
        ColumnNaks = 6
    };
    static constexpr int kColumnCount = 7;

    virtual ~View() = default;

    // Adds the port's row (start-up, in port order) with the description.
    virtual void AddPortRow(int16_t port, const std::string& description) = 0;
    virtual bool HasPortRow(int16_t port) const = 0;
    // Reads or writes one column of the port's row; a port without a row
    // reads "" and ignores writes.
    virtual std::string PortColumn(int16_t port, Column column) const = 0;
    virtual void SetPortColumn(int16_t port, Column column, const std::string& text) = 0;

    // The status bar's panels, numbered from 1 as on screen.
    enum Panel : int { PanelZorvanLink = 1, PanelZorvanCounters = 2, PanelDate = 3, PanelTime = 4 };

    // Panels PanelZorvanLink and PanelZorvanCounters; the window keeps the
    // date and time panels itself.
    virtual std::string StatusPanel(int panel) const = 0;
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;

    // One trace line for the debug window; ignored while it is closed.
    virtual void AddDebugLine(const std::string& line) = 0;
    // Whether the debug window is open, so the trace can skip rendering lines
    // that nobody would see.
    virtual bool DebugWindowOpen() const = 0;
};

}  // namespace tw

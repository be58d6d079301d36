// What the gateway's logic shows to the operator: one row per usable port in
// the connection list, the status bar and the debug window. The windowed
// program implements it with Qt widgets; headless, MemoryView keeps the texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tw {

class View {
  public:
    enum Column : int {
        ColumnDescription = 0,
        ColumnStatus = 1,
        ColumnTxBytes = 2,
        ColumnRxBytes = 3
    };

    virtual ~View() = default;

    // Adds the port's row (start-up, in port order) with the description.
    virtual void AddPortRow(int16_t port, const std::string& description) = 0;
    virtual bool HasPortRow(int16_t port) const = 0;
    // Reads or writes one column of the port's row; a port without a row
    // reads "" and ignores writes.
    virtual std::string PortColumn(int16_t port, Column column) const = 0;
    virtual void SetPortColumn(int16_t port, Column column, const std::string& text) = 0;

    // Status-bar panels 1 (alarm-server link state) and 2 (byte counters).
    virtual std::string StatusPanel(int panel) const = 0;
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;

    // One trace line for the debug window; ignored while it is closed.
    virtual void AddDebugLine(const std::string& line) = 0;
    // Whether the debug window is open, so the trace can skip rendering lines
    // that nobody would see.
    virtual bool DebugWindowOpen() const = 0;
};

// The texts of the rows and panels, without any window. Used headless and in
// tests.
class MemoryView : public View {
  public:
    void AddPortRow(int16_t port, const std::string& description) override;
    bool HasPortRow(int16_t port) const override;
    std::string PortColumn(int16_t port, Column column) const override;
    void SetPortColumn(int16_t port, Column column, const std::string& text) override;
    std::string StatusPanel(int panel) const override;
    void SetStatusPanel(int panel, const std::string& text) override;
    void AddDebugLine(const std::string& /*line*/) override {}
    bool DebugWindowOpen() const override { return false; }

    // How often each port's Status column was written (for change-only tests).
    int StatusWrites(int16_t port) const;

  private:
    struct Row {
        bool m_Exists = false;
        std::array<std::string, 4> m_Columns;
        int m_StatusWrites = 0;
    };
    static bool ValidPort(int16_t port) { return port >= 0 && port < 8; }

    std::array<Row, 8> m_Rows;
    std::array<std::string, 4> m_Panels;
};

}  // namespace tw

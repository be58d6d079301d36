// The texts of the connection list and the status bar without any window: the
// view of the headless gateway (and of tests).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/portcount.h"
#include "core/view.h"

namespace tw {

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
        std::array<std::string, kColumnCount> m_Columns;
        int m_StatusWrites = 0;
    };
    static bool ValidPort(int16_t port) { return port >= 0 && port < kPortCount; }

    std::array<Row, kPortCount> m_Rows;
    std::array<std::string, 4> m_Panels;
};

}  // namespace tw

#include "ui/memoryview.h"

namespace tw {

void MemoryView::AddPortRow(int16_t port, const std::string& description) {
    if (!ValidPort(port)) {
        return;
    }
    m_Rows[port] = Row{};
    m_Rows[port].m_Exists = true;
    m_Rows[port].m_Columns[ColumnDescription] = description;
}

bool MemoryView::HasPortRow(int16_t port) const {
    return ValidPort(port) && m_Rows[port].m_Exists;
}

std::string MemoryView::PortColumn(int16_t port, Column column) const {
    if (!HasPortRow(port)) {
        return {};
    }
    return m_Rows[port].m_Columns[column];
}

void MemoryView::SetPortColumn(int16_t port, Column column, const std::string& text) {
    if (!HasPortRow(port)) {
        return;
    }
    m_Rows[port].m_Columns[column] = text;
    if (column == ColumnStatus) {
        ++m_Rows[port].m_StatusWrites;
    }
}

std::string MemoryView::StatusPanel(int panel) const {
    return panel >= PanelZorvanLink && panel <= PanelTime ? m_Panels[panel - 1] : std::string();
}

void MemoryView::SetStatusPanel(int panel, const std::string& text) {
    if (panel >= PanelZorvanLink && panel <= PanelTime) {
        m_Panels[panel - 1] = text;
    }
}

int MemoryView::StatusWrites(int16_t port) const {
    return ValidPort(port) ? m_Rows[port].m_StatusWrites : 0;
}

}  // namespace tw

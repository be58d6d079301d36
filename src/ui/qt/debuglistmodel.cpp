#include "ui/qt/debuglistmodel.h"

#include <algorithm>

#include "ui/qt/latin1.h"

namespace tw {

int DebugListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_Lines.size());
}

QVariant DebugListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return m_Lines[static_cast<std::size_t>(index.row())];
}

void DebugListModel::Append(const std::deque<std::string>& lines) {
    // Of a batch longer than the list only its tail can stay.
    const std::size_t keep = std::min<std::size_t>(lines.size(), kMaxLines);
    if (keep == 0) {
        return;
    }
    const int overflow = rowCount() + static_cast<int>(keep) - kMaxLines;
    if (overflow > 0) {
        DropOldest(overflow);
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(keep) - 1);
    for (auto line = lines.end() - static_cast<std::ptrdiff_t>(keep); line != lines.end(); ++line) {
        m_Lines.push_back(FromLatin1(*line));
    }
    endInsertRows();
}

void DebugListModel::DropOldest(int count) {
    beginRemoveRows(QModelIndex(), 0, count - 1);
    m_Lines.erase(m_Lines.begin(), m_Lines.begin() + count);
    endRemoveRows();
}

void DebugListModel::Clear() {
    if (m_Lines.empty()) {
        return;
    }
    beginResetModel();
    m_Lines.clear();
    endResetModel();
}

std::vector<std::string> DebugListModel::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(m_Lines.size());
    for (const QString& line : m_Lines) {
        lines.push_back(ToLatin1(line));
    }
    return lines;
}

}  // namespace tw

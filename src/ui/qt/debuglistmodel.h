// The lines of the debug window's list: the newest 500 trace lines, oldest
// first. A list model rather than a list widget, so that a batch of lines
// costs one insertion and one removal instead of one item each.
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <deque>
#include <string>
#include <vector>

namespace tw {

class DebugListModel : public QAbstractListModel {
  public:
    static constexpr int kMaxLines = 500;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Appends the lines in order, then removes the oldest entries while more
    // than kMaxLines are held.
    void Append(const std::deque<std::string>& lines);
    void Clear();
    std::vector<std::string> Lines() const;

  private:
    void DropOldest(int count);

    std::deque<QString> m_Lines;
};

}  // namespace tw

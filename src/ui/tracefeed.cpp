#include "ui/tracefeed.h"

#include <algorithm>

#include "base/systemtext.h"

namespace tw {

void TraceFeed::Add(const std::string& line) {
    m_Kept.push_back(line);
    if (m_Kept.size() > kLineLimit) {
        m_Kept.pop_front();
    }
    if (!HasWatchers()) {
        return;
    }
    m_Queued = std::min(m_Queued + 1, kQueueLimit);
    if (m_Queued == 1 && m_QueuedHandler) {
        m_QueuedHandler();
    }
}

std::string TraceFeed::KeptText() const {
    return Joined(m_Kept.size());
}

std::string TraceFeed::TakeQueued() {
    std::string text = Joined(m_Queued);
    m_Queued = 0;
    return text;
}

std::string TraceFeed::Joined(size_t count) const {
    const size_t first = m_Kept.size() - count;
    std::string text;
    for (size_t index = first; index < m_Kept.size(); ++index) {
        if (index != first) {
            text += '\n';
        }
        text += m_Kept[index];
    }
    return Latin1ToUtf8(text);
}

}  // namespace tw

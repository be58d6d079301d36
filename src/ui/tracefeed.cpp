#include "ui/tracefeed.h"

#include "base/systemtext.h"

namespace tw {
namespace {

void PushBounded(std::deque<std::string>& lines, const std::string& line) {
    lines.push_back(line);
    if (lines.size() > TraceFeed::kLineLimit) {
        lines.pop_front();
    }
}

}  // namespace

void TraceFeed::Add(const std::string& line) {
    PushBounded(m_Kept, line);
    if (!HasWatchers()) {
        return;
    }
    const bool wasEmpty = m_Queue.empty();
    PushBounded(m_Queue, line);
    if (wasEmpty && m_Queued) {
        m_Queued();
    }
}

std::string TraceFeed::KeptText() const {
    return Joined(m_Kept);
}

std::string TraceFeed::TakeQueued() {
    std::string text = Joined(m_Queue);
    m_Queue.clear();
    return text;
}

std::string TraceFeed::Joined(const std::deque<std::string>& lines) {
    std::string text;
    for (size_t index = 0; index < lines.size(); ++index) {
        text += index == 0 ? "" : "\n";
        text += lines[index];
    }
    return Latin1ToUtf8(text);
}

}  // namespace tw

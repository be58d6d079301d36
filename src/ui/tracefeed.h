// The communication trace for watchers outside the windows (the status
// server's trace clients), and the view the gateway works on: the window (or
// the headless MemoryView) with the feed beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "core/view.h"

namespace tw {

// Keeps the newest trace lines that were rendered, for a watcher that
// arrives, and collects the lines the watchers have not been handed yet.
// Lines are rendered only while someone watches (a watcher here or the debug
// window), so the kept lines are those of the last time anyone watched.
class TraceFeed {
  public:
    // Lines kept for a new watcher, the debug window's measure.
    static constexpr size_t kLineLimit = 500;
    // Lines at most queued between two hand-outs; under a flood the oldest
    // give way, so one hand-out keeps the event loop only briefly.
    static constexpr size_t kQueueLimit = 250;

    void Add(const std::string& line);

    // The kept lines, oldest first, as UTF-8 joined by LF; "" when none.
    std::string KeptText() const;
    // The lines queued since the last call, as KeptText; the queue is emptied.
    std::string TakeQueued();

    void SetWatcherCount(int count) {
        m_Watchers = count;
        m_Queued = count > 0 ? m_Queued : 0;
    }
    bool HasWatchers() const { return m_Watchers > 0; }

    // Called when a line is queued into an empty queue, so the edge can
    // schedule one hand-out for a burst of lines.
    void SetQueuedHandler(std::function<void()> handler) { m_QueuedHandler = std::move(handler); }

  private:
    // The newest count kept lines as UTF-8 joined by LF.
    std::string Joined(size_t count) const;

    std::deque<std::string> m_Kept;
    // The queued lines are the newest of the kept ones: one copy per line.
    size_t m_Queued = 0;
    int m_Watchers = 0;
    std::function<void()> m_QueuedHandler;
};

// Passes everything to the inner view; trace lines also go to the feed, and
// the trace counts as watched while the debug window is open or the feed has
// watchers.
class TracedView : public View {
  public:
    TracedView(View& inner, TraceFeed& feed) : m_Inner(inner), m_Feed(feed) {}

    void AddPortRow(int16_t port, const std::string& description) override {
        m_Inner.AddPortRow(port, description);
    }
    bool HasPortRow(int16_t port) const override { return m_Inner.HasPortRow(port); }
    std::string PortColumn(int16_t port, Column column) const override {
        return m_Inner.PortColumn(port, column);
    }
    void SetPortColumn(int16_t port, Column column, const std::string& text) override {
        m_Inner.SetPortColumn(port, column, text);
    }
    std::string StatusPanel(int panel) const override { return m_Inner.StatusPanel(panel); }
    void SetStatusPanel(int panel, const std::string& text) override {
        m_Inner.SetStatusPanel(panel, text);
    }
    void AddDebugLine(const std::string& line) override {
        m_Inner.AddDebugLine(line);
        m_Feed.Add(line);
    }
    bool DebugWindowOpen() const override {
        return m_Inner.DebugWindowOpen() || m_Feed.HasWatchers();
    }

  private:
    View& m_Inner;
    TraceFeed& m_Feed;
};

}  // namespace tw

// The 100 ms supervision timer. Single-shot and precise, started again only
// when a tick has finished, so ticks never overlap and a slow tick delays the
// next one instead of piling up (the coarse default timer drifts by up to 5 %).
#pragma once

#include <QTimer>
#include <functional>

namespace tw {

class TickTimer {
  public:
    explicit TickTimer(std::function<void()> tick, int intervalMs = 100);
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

    void Start();
    // Also allowed from inside the tick: the timer then is not started again.
    void Stop();
    bool IsRunning() const { return m_Running; }

  private:
    void RunTick();

    std::function<void()> m_Tick;
    QTimer m_Timer;
    bool m_Running = false;
};

}  // namespace tw

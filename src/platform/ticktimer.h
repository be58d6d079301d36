// The 100 ms supervision timer. Single-shot and precise, started again only
// when a tick has finished, so ticks never overlap and a slow tick delays the
// next one instead of piling up (the coarse default timer drifts by up to 5 %).
// A tick that throws is reported and the timer ticks on: one failed step must
// not end the supervision for the rest of the run.
#pragma once

#include <QTimer>
#include <functional>
#include <string>

namespace tw {

class TickTimer {
  public:
    // onFailure gets what a throwing tick said.
    TickTimer(std::function<void()> tick, int intervalMs,
              std::function<void(const std::string& what)> onFailure);
    TickTimer(const TickTimer&) = delete;
    TickTimer& operator=(const TickTimer&) = delete;

    void Start();
    // Also allowed from inside the tick: the timer then is not started again.
    void Stop();
    bool IsRunning() const { return m_Running; }

  private:
    void RunTick();

    std::function<void()> m_Tick;
    std::function<void(const std::string&)> m_OnFailure;
    QTimer m_Timer;
    bool m_Running = false;
};

}  // namespace tw

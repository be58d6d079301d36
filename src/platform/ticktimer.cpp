#include "platform/ticktimer.h"

#include <exception>
#include <utility>

namespace tw {

TickTimer::TickTimer(std::function<void()> tick, int intervalMs,
                     std::function<void(const std::string&)> onFailure)
    : m_Tick(std::move(tick)), m_OnFailure(std::move(onFailure)) {
    m_Timer.setSingleShot(true);
    m_Timer.setTimerType(Qt::PreciseTimer);
    m_Timer.setInterval(intervalMs);
    QObject::connect(&m_Timer, &QTimer::timeout, &m_Timer, [this] { RunTick(); });
}

void TickTimer::Start() {
    m_Running = true;
    m_Timer.start();
}

void TickTimer::Stop() {
    m_Running = false;
    m_Timer.stop();
}

void TickTimer::RunTick() {
    try {
        m_Tick();
    } catch (const std::exception& failure) {
        m_OnFailure(failure.what());
    } catch (...) {
        m_OnFailure("unknown error");
    }
    if (m_Running) {
        m_Timer.start();
    }
}

}  // namespace tw

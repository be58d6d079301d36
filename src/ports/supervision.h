// The 100 ms supervision tick: opens, listens on and connects the ESPA ports
// and reconnects them, closes them while the alarm server is away (when so
// configured), detects silent partners, raises poll-failure alarms and their
// reminders, resends buffered alarms and drives the watchdog.
#pragma once

#include <cstdint>

#include "alarmlink/alarmlink.h"
#include "core/gateway.h"

namespace tw {

class Supervisor {
  public:
    // The tick interval in ms; the edge's timer fires one interval after the
    // previous tick returned.
    static constexpr int32_t kUpdateInterval = 100;

    // Poll-failure alarms go to gateway.m_Alarms; presence, resend and watchdog
    // are the link's. Both must outlive the supervisor.
    Supervisor(Gateway& gateway, AlarmLink& link);

    // One tick. The edge's single-shot timer calls it and is started again
    // after it returns, so ticks never overlap. Every tenth tick runs the
    // once-a-second pass; every tick watches the alarm server's connection,
    // resends buffered alarms and runs the ESPA-timeout step of each port.
    void Timer_Update_Timer();

    int32_t TickAccumulator() const { return m_TickAccumulator; }

  private:
    void OnceASecondPass();
    bool PortDisabled();
    void KindStep(int16_t port);
    void TcpServerStep(int16_t port);
    void TcpClientStep(int16_t port);
    void ComStep(int16_t port);
    void PollFailureStep(int16_t port);
    void RaisePollAlarm(int16_t port, const std::string& text);
    void ESPATimeoutStep(int16_t port);
    void SumUpConnectionLines(int16_t port);

    Gateway& m_Gateway;
    AlarmLink& m_Link;
    int32_t m_TickAccumulator = 0;
};

}  // namespace tw

// What happens on one ESPA port while the program runs. All eight records
// live for the whole run; nothing in them is saved at exit.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "core/espacall.h"
#include "core/floodgate.h"
#include "core/settings.h"

namespace tw {

// Totals of a port for the life of the process; unlike the byte columns of
// the window they never go back.
struct PortTotals {
    uint64_t Calls = 0;  // blocks accepted with ACK
    uint64_t Naks = 0;   // blocks refused with NAK
    uint64_t RxBytes = 0;
    uint64_t TxBytes = 0;
    int64_t LastCallUnixSeconds = 0;  // 0: no call yet
};

struct PortRuntime {
    std::string ReceiveBuffer;          // received, not yet consumed
    int32_t RxBytes = 0;                // 0..65535, back to 0 above
    int32_t TxBytes = 0;                // 0..65535, back to 0 above
    bool CommFailed = false;            // ESPA communication considered failed
    int32_t ESPAIdleTime = 0;           // ms without ESPA events (ESPATimeout)
    int32_t PollFailElapsed = 0;        // ms without ESPA events (PollFailTimeout)
    int32_t PollFailRemindElapsed = 0;  // ms since failure alarm or last reminder
    int32_t ReconnectCountdown = 0;     // ms to the next open/listen/connect attempt
    bool Selected = false;              // link-layer state
    std::deque<cESPACall> SendQueue;    // status messages waiting for the partner
    // Set while the oldest status messages are being dropped because the
    // partner does not fetch them; cleared when it fetches one.
    bool SendQueueOverflowed = false;
    // Set while unrecognised input is being discarded (no ESPA timeout, or
    // ResyncOnUnrecognisedInput); cleared by the next consumed element.
    bool DiscardingInput = false;
    // Set while replies are dropped because the serial line does not take
    // them; cleared when it takes one again.
    bool DroppingOutput = false;
    // Connection lines (accepted, refused, closed, failed) of this port.
    LogFloodGate ConnectionLog;
    PortTotals Totals;
};

// "Connection (n)", the port's name in the event log.
inline std::string PortLabel(int16_t port) {
    return "Connection (" + std::to_string(port) + ")";
}

// True while the port's poll-failure alarm stands: its silence reached
// PollFailTimeout (0 or less: the port's polls are not supervised).
inline bool PollFailureRaised(const PortSettings& settings, const PortRuntime& runtime) {
    return settings.PollFailTimeout > 0 && runtime.PollFailElapsed >= settings.PollFailTimeout;
}

}  // namespace tw

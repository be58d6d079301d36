// Termination signals turned into close requests on the event loop. The
// signal handler only writes the signal number into a pipe; a socket notifier
// reads it on the loop thread and calls the callback with the close reason.
// One watcher at a time per process.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace tw {

// SIGINT 0; SIGTERM 1 when running as a service, else 3; SIGHUP 2; -1 for
// any other signal.
int CloseReasonForSignal(int signalNumber, bool runAsService);

class SignalWatcher {
  public:
    // Installs handlers for SIGINT, SIGTERM and SIGHUP.
    SignalWatcher(bool runAsService, std::function<void(int reason)> onClose);
    // Restores the default handlers.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

  private:
    void ReadSignals();

    bool m_RunAsService;
    std::function<void(int)> m_OnClose;
    int m_ReadEnd = -1;
    std::unique_ptr<QSocketNotifier> m_Notifier;
};

}  // namespace tw

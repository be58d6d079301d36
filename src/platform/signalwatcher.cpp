#include "platform/signalwatcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

#include "core/stopreason.h"

namespace tw {

namespace {

constexpr int kWatchedSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe, for the signal handler.
volatile sig_atomic_t g_WriteEnd = -1;

void OnSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds enough wake-ups; losing this byte is harmless.
    const ssize_t written = write(g_WriteEnd, &byte, 1);
    static_cast<void>(written);
    errno = savedErrno;
}

void SetHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

int CloseReasonForSignal(int signalNumber, bool runAsService) {
    switch (signalNumber) {
        case SIGINT:
            return StopWindowClosed;
        case SIGTERM:
            return runAsService ? StopRequested : StopTerminated;
        case SIGHUP:
            return StopSystemShutdown;
        default:
            return -1;
    }
}

SignalWatcher::SignalWatcher(bool runAsService, std::function<void(int reason)> onClose)
    : m_RunAsService(runAsService), m_OnClose(std::move(onClose)) {
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_ReadEnd = ends[0];
    g_WriteEnd = ends[1];
    m_Notifier = std::make_unique<QSocketNotifier>(m_ReadEnd, QSocketNotifier::Read);
    QObject::connect(m_Notifier.get(), &QSocketNotifier::activated, m_Notifier.get(),
                     [this] { ReadSignals(); });
    for (const int signalNumber : kWatchedSignals) {
        SetHandler(signalNumber, OnSignal);
    }
}

SignalWatcher::~SignalWatcher() {
    if (m_ReadEnd < 0) {
        return;
    }
    for (const int signalNumber : kWatchedSignals) {
        SetHandler(signalNumber, SIG_DFL);
    }
    m_Notifier.reset();
    close(g_WriteEnd);
    g_WriteEnd = -1;
    close(m_ReadEnd);
}

void SignalWatcher::ReadSignals() {
    unsigned char byte = 0;
    while (read(m_ReadEnd, &byte, 1) == 1) {
        const int reason = CloseReasonForSignal(byte, m_RunAsService);
        if (reason >= 0) {
            m_OnClose(reason);
        }
    }
}

}  // namespace tw

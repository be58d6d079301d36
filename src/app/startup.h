// The start of the gateway, from the command line to the running state, and
// the line it writes when it stops. Framework-free: the edge hands in its
// message boxes, the main window's own steps and the transport objects
// (through the Gateway), and runs the steps in this order:
//
//   ParseCommandLine; PrepareAppFolder (the folder, LogFiles/);
//   RunsAsService; ChooseHeadless (before any application object exists);
//   CheckInstanceAndSwitches (single instance, /U, /I: may end the process);
//   StartGateway (settings, first log lines, alarm-server listener, ports,
//   configuration findings, initial states, service manager, captions);
//   then the event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "alarmlink/alarmlink.h"
#include "app/version.h"
#include "core/gateway.h"
#include "core/servicecontrol.h"
#include "core/settingscheck.h"
#include "core/stopreason.h"
#include "platform/instancelock.h"

namespace tw {

// Process exit status.
enum ExitStatus : int { ExitOk = 0, ExitFailure = 1, ExitUsage = 2, ExitUnreadable = 2 };

struct CommandLine {
    enum class Action { Run, Install, Uninstall, CheckConfig, ShowVersion, ShowHelp, Invalid };

    Action m_Action = Action::Run;
    std::string m_AppFolder;  // --app-folder; empty: the default folder
    bool m_Headless = false;  // --headless
    bool m_Service = false;   // --service: started by the service manager
    std::string m_Error;      // Invalid: what is wrong, for the operator
};

// The arguments without the program name. "/U" and "/I" count as whole
// arguments in either case, as do "--uninstall" and "--install"; the removal
// wins when both are given, and --check-config wins over both. Any other
// argument is an error.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// What --help prints.
std::string UsageText();

// True when the process runs as a service: the unit says so with --service,
// or the service manager waits for its notifications (notifySocket, the value
// of NOTIFY_SOCKET, nullptr when unset). How a process was started decides,
// never a setting of the machine, so an interactive start beside an
// installed service stays interactive.
bool RunsAsService(bool serviceSwitch, const char* notifySocket);

// True when the program must run without windows: asked for, running as a
// service, or no display to open windows on (the three environment values
// DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM, nullptr when unset).
bool ChooseHeadless(bool requested, bool runAsService, const char* display,
                    const char* waylandDisplay, const char* qtPlatform);

// Message boxes: a dialog when windows are shown, stderr when headless.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // OK button, no icon.
    virtual void ShowMessage(const std::string& text) = 0;
    // OK button, error icon.
    virtual void ShowError(const std::string& text) = 0;
};

// Both kinds as one line each on a stream (stderr).
class StreamMessageBoxes : public MessageBoxes {
  public:
    explicit StreamMessageBoxes(std::ostream& out) : m_Out(out) {}
    void ShowMessage(const std::string& text) override { m_Out << text << "\n"; }
    void ShowError(const std::string& text) override { m_Out << text << "\n"; }

  private:
    std::ostream& m_Out;
};

// The main window's own start-up steps; nothing to do when headless.
class StartupWindow {
  public:
    virtual ~StartupWindow() = default;
    // The Exit entry's caption becomes "&Exit", TAB, "Alt+F4".
    virtual void ShowExitKeyHint() = 0;
    virtual void AppendVersionToCaption(const std::string& version) = 0;
    virtual void HideMainWindow() = 0;
};

class NoStartupWindow : public StartupWindow {
  public:
    void ShowExitKeyHint() override {}
    void AppendVersionToCaption(const std::string& /*version*/) override {}
    void HideMainWindow() override {}
};

// The application folder as an absolute path ending in "/".
std::string AbsoluteAppFolder(const std::string& folder);

// AbsoluteAppFolder, with its "LogFiles/" created when missing (a failure is
// left for the log folder to report).
std::string PrepareAppFolder(const std::string& folder);

// The single-instance test (a lock in appFolder), then "/U" or "/I". Returns
// the exit status when the process must end here; nullopt to go on. The lock
// stays held by lock for the life of the process.
std::optional<int> CheckInstanceAndSwitches(const CommandLine& commandLine,
                                            const std::string& appFolder, bool runAsService,
                                            InstanceLock& lock, ServiceControl& service,
                                            MessageBoxes& messages);

// What StartGateway works with besides the gateway. SetComDevice names the
// serial device of a COM port (its ComDevice key; empty: the COMn default).
// CheckFiles adds the findings that need the file system (none when unset).
// Journal keeps the alarm buffer when PersistAlarmBuffer is on (not touched
// otherwise; without it the buffer is not kept).
struct StartupEdge {
    ServiceControl& m_Service;
    MessageBoxes& m_Messages;
    StartupWindow& m_Window;
    std::function<void(int16_t port, const std::string& path)> m_SetComDevice;
    std::function<std::vector<ConfigFinding>(const SettingsCheck& check)> m_CheckFiles = {};
    AlarmJournal* m_Journal = nullptr;
};

// Reads the settings into gateway, writes the first event-log lines, restores
// the alarm buffer from its journal (PersistAlarmBuffer), sets up the
// alarm-server listener (method 2) or loads the library (methods 0, 1),
// configures every usable port's transport objects and adds its row, logs
// the probable mistakes of the configuration one line each, shows the
// initial states, connects to the service manager when running as a service
// and sets the captions. Configuration problems are logged; a
// problem in "General" refuses the start: false after telling the operator.
// Line settings of a COM port that the serial object refuses are logged
// after the ports are set up. Opens no ESPA port.
bool StartGateway(Gateway& gateway, AlarmLink& link, StartupEdge& edge, bool runAsService);

// "ESPA Server is stopping, reason " + reason.
std::string StoppingLine(int reason);

// What a stop discards, one line each, for the lines before StoppingLine:
// alarms in the buffer (or that they are kept in the journal), call-status
// messages in the ports' queues, and the alarms dropped in a full-buffer
// episode that is still going on.
std::vector<std::string> DiscardedAtStopLines(const Gateway& gateway, const AlarmLink& link);

}  // namespace tw

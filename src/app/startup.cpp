#include "app/startup.h"

#include <filesystem>

#include "base/ini.h"
#include "ports/connectionstatus.h"

namespace tw {

namespace {

const char* const kAlreadyStarted = "Tellwick for Zorvan Alarm Server is already started!";
const char* const kServiceStarted = "Tellwick for Zorvan Alarm Server started";
constexpr int32_t kServiceStartedEvent = 110;

std::string DefaultFolderText() {
    return *kDefaultAppFolder != '\0' ? kDefaultAppFolder : "the executable's folder";
}

bool IsSwitch(const std::string& argument, const char* slashForm, const char* longForm) {
    const std::string upper = ToUpperAscii(argument);
    return upper == slashForm || upper == ToUpperAscii(longForm);
}

// After the registration changed, the flag that says how the next start
// runs; a flag that cannot be stored would leave the two disagreeing.
int StoreRunAsService(ServiceControl& service, MessageBoxes& messages, const char* value,
                      const std::string& success) {
    if (!service.SaveSetting("Parameters", "RunAsService", value)) {
        messages.ShowError(service.DisplayName() + ": RunAsService=" + value +
                           " could not be stored");
        return ExitFailure;
    }
    messages.ShowMessage(success);
    return ExitOk;
}

int Uninstall(ServiceControl& service, MessageBoxes& messages) {
    if (!service.Uninstall()) {
        messages.ShowMessage(service.DisplayName() + " failed to uninstall as service");
        return ExitFailure;
    }
    return StoreRunAsService(service, messages, "0",
                             service.DisplayName() + " service uninstalled successfully");
}

int Install(ServiceControl& service, MessageBoxes& messages) {
    if (!service.Install()) {
        messages.ShowMessage(service.DisplayName() + " failed to install as service");
        return ExitFailure;
    }
    return StoreRunAsService(service, messages, "1",
                             service.DisplayName() + " service installation succeeded");
}

void ConfigureTcpServer(Gateway& gateway, int16_t port) {
    Socket& listener = *gateway.Winsock_Connect[port];
    listener.SetLocalPort(gateway.m_Ports[port].ListenPort);
    listener.SetLocalAddress(gateway.m_Ports[port].ListenAddress);
}

void ConfigureTcpClient(Gateway& gateway, int16_t port) {
    Socket& data = *gateway.Winsock_Data[port];
    data.SetRemoteHost(gateway.m_Ports[port].RemoteHost());
    data.SetRemotePort(gateway.m_Ports[port].RemotePortNumber());
    gateway.WriteEventLog("Created socked client for IP " +
                          Endpoint(data.RemoteHost(), data.RemotePort()));
}

// Line settings that are all empty ("COM3" alone) leave the serial object's
// own. Others that it cannot use would go unnoticed (the line would open with
// the previous settings), so they are reported in lineProblems.
void ConfigureCom(Gateway& gateway, StartupEdge& edge, int16_t port,
                  std::vector<ConfigProblem>& lineProblems) {
    const PortSettings& settings = gateway.m_Ports[port];
    Serial& serial = *gateway.MSComm[port];
    serial.SetCommPort(settings.ComPortNumber());
    const std::string lineSettings = settings.ComLineSettings();
    std::string error;
    if (lineSettings.find_first_not_of(", ") != std::string::npos &&
        !serial.SetSettings(lineSettings, error)) {
        lineProblems.push_back({PortSectionName(port), "ComSetting", settings.ComSetting, error});
    }
    if (!serial.SetHandshaking(settings.ComHandshaking())) {
        lineProblems.push_back({PortSectionName(port), "ComSetting", settings.ComSetting,
                                "the handshaking must be 0, 1, 2 or 3"});
    }
    if (edge.m_SetComDevice) {
        edge.m_SetComDevice(port, settings.ComDevice);
    }
}

void SetUpPort(Gateway& gateway, StartupEdge& edge, int16_t port,
               std::vector<ConfigProblem>& lineProblems) {
    std::vector<ConfigProblem> problems;
    gateway.m_Ports[port] = LoadPortSettings(gateway.m_Settings, port, problems);
    for (const ConfigProblem& problem : problems) {
        gateway.WriteEventLog(problem.Describe());
    }
    const PortSettings& settings = gateway.m_Ports[port];
    switch (settings.PortKind) {
        case PortKindTcpServer:
            ConfigureTcpServer(gateway, port);
            break;
        case PortKindTcpClient:
            ConfigureTcpClient(gateway, port);
            break;
        case PortKindCom:
            ConfigureCom(gateway, edge, port, lineProblems);
            break;
        default:
            break;
    }
    if (settings.PortKind != PortKindNone) {
        gateway.m_View.AddPortRow(port, settings.Description);
    }
    ShowTCPConnectionState(gateway, port);
}

void LogFindings(Gateway& gateway, StartupEdge& edge) {
    const SettingsCheck check = CheckSettings(gateway.m_Settings);
    for (const ConfigFinding& finding : check.m_Findings) {
        gateway.WriteEventLog(finding.Describe());
    }
    if (edge.m_CheckFiles) {
        for (const ConfigFinding& finding : edge.m_CheckFiles(check)) {
            gateway.WriteEventLog(finding.Describe());
        }
    }
}

void ConnectToServiceManager(Gateway& gateway, StartupEdge& edge) {
    if (!edge.m_Service.StartService()) {
        gateway.WriteEventLog("Service manager not reached, running on without it");
    }
    edge.m_Service.LogEvent(ServiceControl::EventInformation, kServiceStartedEvent,
                            kServiceStarted);
    edge.m_Window.HideMainWindow();
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine result;
    bool install = false;
    bool uninstall = false;
    bool checkConfig = false;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (IsSwitch(argument, "/U", "--uninstall")) {
            uninstall = true;
        } else if (IsSwitch(argument, "/I", "--install")) {
            install = true;
        } else if (argument == "--app-folder") {
            if (index + 1 >= arguments.size() || arguments[index + 1].empty()) {
                return {
                    CommandLine::Action::Invalid, {}, false, false, "--app-folder needs a folder"};
            }
            result.m_AppFolder = arguments[++index];
        } else if (argument == "--headless") {
            result.m_Headless = true;
        } else if (argument == "--service") {
            result.m_Service = true;
        } else if (argument == "--check-config") {
            checkConfig = true;
        } else if (argument == "--version") {
            result.m_Action = CommandLine::Action::ShowVersion;
        } else if (argument == "--help") {
            result.m_Action = CommandLine::Action::ShowHelp;
        } else {
            return {CommandLine::Action::Invalid, {}, false, false, "unknown option: " + argument};
        }
    }
    if (result.m_Action == CommandLine::Action::Run) {
        if (checkConfig) {
            result.m_Action = CommandLine::Action::CheckConfig;
        } else if (uninstall) {
            result.m_Action = CommandLine::Action::Uninstall;
        } else if (install) {
            result.m_Action = CommandLine::Action::Install;
        }
    }
    return result;
}

std::string UsageText() {
    return std::string("Usage: tellwick [options]\n") +
           "  --app-folder DIR   folder of Tellwick.ini and LogFiles/ (default: " +
           DefaultFolderText() +
           ")\n"
           "  --headless         run without windows\n"
           "  --service          run as a service (the service manager's unit passes it)\n"
           "  --check-config     check Tellwick.ini, print what each port will do and\n"
           "                     every probable mistake; exit 0 clean, 1 findings,\n"
           "                     2 unreadable\n"
           "  /I, --install      register as the service \"tellwickforzorvan.service\"\n"
           "  /U, --uninstall    remove the service registration\n"
           "  --version          print the version\n"
           "  --help             print this text\n";
}

bool RunsAsService(bool serviceSwitch, const char* notifySocket) {
    return serviceSwitch || (notifySocket != nullptr && *notifySocket != '\0');
}

bool ChooseHeadless(bool requested, bool runAsService, const char* display,
                    const char* waylandDisplay, const char* qtPlatform) {
    const auto isSet = [](const char* value) { return value != nullptr && *value != '\0'; };
    const bool displayAvailable = isSet(display) || isSet(waylandDisplay) || isSet(qtPlatform);
    return requested || runAsService || !displayAvailable;
}

std::string AbsoluteAppFolder(const std::string& folder) {
    // Absolute, so that a service registration started elsewhere finds it.
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, ignored);
    const std::string path = ignored ? folder : absolute.lexically_normal().string();
    if (path.empty()) {
        return "./";
    }
    return path.back() == '/' ? path : path + "/";
}

std::string PrepareAppFolder(const std::string& folder) {
    const std::string result = AbsoluteAppFolder(folder);
    std::error_code ignored;
    std::filesystem::create_directory(result + "LogFiles/", ignored);
    return result;
}

std::optional<int> CheckInstanceAndSwitches(const CommandLine& commandLine,
                                            const std::string& appFolder, bool runAsService,
                                            InstanceLock& lock, ServiceControl& service,
                                            MessageBoxes& messages) {
    std::string error;
    switch (lock.Acquire(appFolder, error)) {
        case InstanceLock::Result::Acquired:
            break;
        case InstanceLock::Result::HeldByOther:
            if (!runAsService) {
                messages.ShowError(kAlreadyStarted);
            }
            return ExitFailure;
        case InstanceLock::Result::Failed:
            messages.ShowError("Tellwick for Zorvan cannot make sure it runs only once: " + error);
            return ExitFailure;
    }
    if (commandLine.m_Action == CommandLine::Action::Uninstall) {
        return Uninstall(service, messages);
    }
    if (commandLine.m_Action == CommandLine::Action::Install) {
        return Install(service, messages);
    }
    return std::nullopt;
}

bool StartGateway(Gateway& gateway, AlarmLink& link, StartupEdge& edge, bool runAsService) {
    gateway.BeginEvent();
    std::vector<ConfigProblem> problems;
    gateway.m_General = LoadGeneralSettings(gateway.m_Settings, problems);
    gateway.WriteEventLog(std::string(80, '-'));
    gateway.WriteEventLog(std::string("Tellwick for Zorvan is starting, version ") +
                          kProgramVersion);
    if (!problems.empty()) {
        std::string message;
        for (const ConfigProblem& problem : problems) {
            gateway.WriteEventLog(problem.Describe());
            message += problem.Describe() + "\n";
        }
        edge.m_Messages.ShowError(message + "Tellwick for Zorvan is not started.");
        return false;
    }
    if (gateway.m_General.PersistAlarmBuffer && edge.m_Journal != nullptr) {
        link.KeepBufferIn(*edge.m_Journal);
    } else if (edge.m_Journal != nullptr && edge.m_Journal->HoldsRecords()) {
        // Alarms an earlier run kept must not vanish without a word.
        gateway.WriteEventLog(std::string(kAlarmJournalFileName) +
                              ": left unread, PersistAlarmBuffer is 0");
    }
    if (gateway.m_General.ZorvanConnectionMethod == ZorvanMethodTcp) {
        link.SetUpZorvanListener();
    }
    link.LoadVendorLibrary();
    std::vector<ConfigProblem> lineProblems;
    for (int16_t port = 0; port < kPortCount; ++port) {
        SetUpPort(gateway, edge, port, lineProblems);
    }
    for (const ConfigProblem& problem : lineProblems) {
        gateway.WriteEventLog(problem.Describe());
    }
    LogFindings(gateway, edge);
    link.ShowZorvanConnectionState();
    edge.m_Window.ShowExitKeyHint();
    if (runAsService) {
        ConnectToServiceManager(gateway, edge);
    }
    edge.m_Window.AppendVersionToCaption(kProgramVersion);
    return true;
}

std::string StoppingLine(int reason) {
    return "ESPA Server is stopping, reason " + std::to_string(reason);
}

std::vector<std::string> DiscardedAtStopLines(const Gateway& gateway, const AlarmLink& link) {
    std::vector<std::string> lines;
    if (link.DroppedWhileFull() > 0) {
        lines.push_back(std::to_string(link.DroppedWhileFull()) +
                        " alarm(s) were dropped while the alarm buffer was full");
    }
    if (!link.AlarmBuffer().empty()) {
        lines.push_back(std::to_string(link.AlarmBuffer().size()) +
                        (link.KeepsBuffer() ? std::string(" buffered alarm(s) kept in ") +
                                                  kAlarmJournalFileName + " for the next start"
                                            : " buffered alarm(s) discarded at stop"));
    }
    size_t queued = 0;
    for (const PortRuntime& runtime : gateway.m_Runtime) {
        queued += runtime.SendQueue.size();
    }
    if (queued > 0) {
        lines.push_back(std::to_string(queued) + " queued status message(s) discarded at stop");
    }
    return lines;
}

}  // namespace tw

#include "shell/startup.h"

#include <filesystem>

#include "ports/connectionstatus.h"
#include "shell/ini.h"

namespace tw {

namespace {

const char* const kAlreadyStarted = "Tellwick for Zorvan Alarm Server is already started!";
const char* const kServiceStarted = "Tellwick for Zorvan Alarm Server started";
constexpr int32_t kServiceStartedEvent = 110;

bool IsSwitch(const std::string& argument, const char* slashForm, const char* longForm) {
    const std::string upper = ToUpperAscii(argument);
    return upper == slashForm || upper == ToUpperAscii(longForm);
}

int Uninstall(ServiceControl& service, MessageBoxes& messages) {
    if (!service.Uninstall()) {
        messages.ShowMessage(service.DisplayName() + " failed to uninstall as service");
        return ExitFailure;
    }
    service.SaveSetting("Parameters", "RunAsService", "0");
    messages.ShowMessage(service.DisplayName() + " service uninstalled successfully");
    return ExitOk;
}

int Install(ServiceControl& service, MessageBoxes& messages) {
    if (!service.Install()) {
        messages.ShowMessage(service.DisplayName() + " failed to install as service");
        return ExitFailure;
    }
    service.SaveSetting("Parameters", "RunAsService", "1");
    messages.ShowMessage(service.DisplayName() + " service installation succeeded");
    return ExitOk;
}

void ConfigureTcpServer(Gateway& gateway, int16_t port) {
    if (Socket* listener = gateway.Winsock_Connect[port]) {
        listener->SetLocalPort(gateway.m_Ports[port].ListenPort);
    }
}

void ConfigureTcpClient(Gateway& gateway, int16_t port) {
    Socket* data = gateway.Winsock_Data[port];
    if (data == nullptr) {
        return;
    }
    data->SetRemoteHost(gateway.m_Ports[port].RemoteHost());
    data->SetRemotePort(gateway.m_Ports[port].RemotePortNumber());
    gateway.WriteEventLog("Created socked client for IP " + data->RemoteHost() + ":" +
                          std::to_string(data->RemotePort()));
}

// A line setting the serial object cannot use would otherwise go unnoticed:
// the line would simply open with the previous settings.
void ConfigureCom(Gateway& gateway, StartupEdge& edge, int16_t port) {
    const PortSettings& settings = gateway.m_Ports[port];
    Serial* serial = gateway.MSComm[port];
    if (serial == nullptr) {
        return;
    }
    serial->SetCommPort(settings.ComPortNumber());
    std::string error;
    if (!serial->SetSettings(settings.ComLineSettings(), error)) {
        gateway.WriteEventLog(
            ConfigProblem{PortSectionName(port), "ComSetting", settings.ComSetting, error}
                .Describe());
    }
    if (!serial->SetHandshaking(settings.ComHandshaking())) {
        gateway.WriteEventLog(ConfigProblem{PortSectionName(port), "ComSetting",
                                            settings.ComSetting,
                                            "the handshaking must be 0, 1, 2 or 3"}
                                  .Describe());
    }
    if (edge.m_SetComDevice) {
        edge.m_SetComDevice(port, settings.ComDevice);
    }
}

void SetUpPort(Gateway& gateway, StartupEdge& edge, int16_t port) {
    std::vector<ConfigProblem> problems;
    gateway.m_Ports[port] = LoadPortSettings(port, problems);
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
            ConfigureCom(gateway, edge, port);
            break;
        default:
            break;
    }
    if (settings.PortKind != PortKindNone && gateway.m_View != nullptr) {
        gateway.m_View->AddPortRow(port, settings.Description);
    }
    ShowTCPConnectionState(gateway, port);
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
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (IsSwitch(argument, "/U", "--uninstall")) {
            uninstall = true;
        } else if (IsSwitch(argument, "/I", "--install")) {
            install = true;
        } else if (argument == "--app-folder") {
            if (index + 1 >= arguments.size() || arguments[index + 1].empty()) {
                return {CommandLine::Action::Invalid, {}, false, "--app-folder needs a folder"};
            }
            result.m_AppFolder = arguments[++index];
        } else if (argument == "--headless") {
            result.m_Headless = true;
        } else if (argument == "--version") {
            result.m_Action = CommandLine::Action::ShowVersion;
        } else if (argument == "--help") {
            result.m_Action = CommandLine::Action::ShowHelp;
        } else {
            return {CommandLine::Action::Invalid, {}, false, "unknown option: " + argument};
        }
    }
    if (result.m_Action == CommandLine::Action::Run) {
        if (uninstall) {
            result.m_Action = CommandLine::Action::Uninstall;
        } else if (install) {
            result.m_Action = CommandLine::Action::Install;
        }
    }
    return result;
}

std::string UsageText() {
    return "Usage: tellwick [options]\n"
           "  --app-folder DIR   folder of Tellwick.ini and LogFiles/ (default: the\n"
           "                     executable's folder)\n"
           "  --headless         run without windows\n"
           "  /I, --install      register as the service \"tellwickforzorvan.service\"\n"
           "  /U, --uninstall    remove the service registration\n"
           "  --version          print the version\n"
           "  --help             print this text\n";
}

bool ChooseHeadless(bool requested, bool runAsService, const char* display,
                    const char* waylandDisplay, const char* qtPlatform) {
    const auto isSet = [](const char* value) { return value != nullptr && *value != '\0'; };
    const bool displayAvailable = isSet(display) || isSet(waylandDisplay) || isSet(qtPlatform);
    return requested || runAsService || !displayAvailable;
}

void PrepareAppFolder(const std::string& folder) {
    // Absolute, so that a service registration started elsewhere finds it.
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, ignored);
    SetAppFolder(ignored ? folder : absolute.lexically_normal().string());
    std::filesystem::create_directory(AppFolder() + "LogFiles/", ignored);
}

bool ReadRunAsService(const ServiceControl& service) {
    return ToFlag(service.GetSetting("Parameters", "RunAsService", "0"));
}

std::optional<int> CheckInstanceAndSwitches(const CommandLine& commandLine, bool runAsService,
                                            InstanceLock& lock, ServiceControl& service,
                                            MessageBoxes& messages) {
    std::string error;
    switch (lock.Acquire(AppFolder(), error)) {
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
    std::vector<ConfigProblem> problems;
    gateway.m_General = LoadGeneralSettings(problems);
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
    if (gateway.m_General.ZorvanConnectionMethod == ZorvanMethodTcp) {
        link.SetUpZorvanListener();
    }
    for (int16_t port = 0; port < kPortCount; ++port) {
        SetUpPort(gateway, edge, port);
    }
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

}  // namespace tw

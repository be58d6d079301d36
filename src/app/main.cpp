// The gateway program: decides between windows and headless before any Qt
// application object exists (a windowed one aborts without a display), runs
// the start-up, and then the one event loop until a close request.
#include <QCoreApplication>
#include <QTimer>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/configcheck.h"
#include "app/gatewayobjects.h"
#include "app/servicehealth.h"
#include "app/startup.h"
#include "platform/instancelock.h"
#include "platform/signalwatcher.h"
#include "platform/systemdservice.h"
#include "ui/memoryview.h"
#ifdef TW_HAVE_WIDGETS
#include <QApplication>
#include <QMessageBox>

#include "ui/debuginfo.h"
#include "ui/qt/mainwindow.h"
#endif

namespace {

std::string ExecutablePath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string ExecutableFolder() {
    const std::string path = ExecutablePath();
    return path.empty() ? "." : std::filesystem::path(path).parent_path().string();
}

// --app-folder, else the folder the build names, else the executable's own.
std::string ChosenAppFolder(const tw::CommandLine& commandLine) {
    if (!commandLine.m_AppFolder.empty()) {
        return commandLine.m_AppFolder;
    }
    return *tw::kDefaultAppFolder != '\0' ? tw::kDefaultAppFolder : ExecutableFolder();
}

#ifdef TW_HAVE_WIDGETS
// Dialogs, with the text also on stderr for whoever started the program from
// a terminal.
class DialogMessageBoxes : public tw::MessageBoxes {
  public:
    void ShowMessage(const std::string& text) override { Show(QMessageBox::NoIcon, text); }
    void ShowError(const std::string& text) override { Show(QMessageBox::Critical, text); }

  private:
    static void Show(QMessageBox::Icon icon, const std::string& text) {
        std::cerr << text << "\n";
        QMessageBox box(icon, QString::fromLatin1(tw::kServiceDisplayName),
                        QString::fromLatin1(text), QMessageBox::Ok);
        box.exec();
    }
};

class MainWindowSteps : public tw::StartupWindow {
  public:
    explicit MainWindowSteps(tw::MainWindow& window) : m_Window(window) {}
    void ShowExitKeyHint() override { m_Window.ShowExitKeyHint(); }
    void AppendVersionToCaption(const std::string& version) override {
        m_Window.AppendVersionToCaption(version);
    }
    void HideMainWindow() override { m_Window.hide(); }

  private:
    tw::MainWindow& m_Window;
};
#endif

// The gateway from the single-instance test to the stop line.
class GatewayRun {
  public:
    GatewayRun(std::string appFolder, tw::ServiceControl& service, bool runAsService)
        : m_AppFolder(std::move(appFolder)), m_Service(service), m_RunAsService(runAsService) {}

    // Start-up from the single-instance test on; the exit status when the
    // process must end instead of running.
    std::optional<int> Start(const tw::CommandLine& commandLine, tw::View& view,
                             tw::StartupWindow& window, tw::MessageBoxes& messages) {
        if (auto status = tw::CheckInstanceAndSwitches(commandLine, m_AppFolder, m_RunAsService,
                                                       m_Lock, m_Service, messages)) {
            return status;
        }
        m_Objects = std::make_unique<tw::GatewayObjects>(m_AppFolder, view);
        if (!m_Objects->Logs().Error().empty()) {
            std::cerr << "Tellwick for Zorvan writes no event log: " << m_Objects->Logs().Error()
                      << "\n";
        }
        if (m_RunAsService) {
            CopyEventLogToSystemLog();
        }
        tw::StartupEdge edge{
            m_Service,
            messages,
            window,
            [this](int16_t port, const std::string& path) { m_Objects->SetComDevice(port, path); },
            [this](const tw::SettingsCheck& check) {
                return tw::CheckConfigFiles(m_AppFolder, check);
            },
            &m_Objects->Journal()};
        if (!tw::StartGateway(m_Objects->GetGateway(), m_Objects->Link(), edge, m_RunAsService)) {
            return tw::ExitFailure;
        }
        if (m_RunAsService) {
            ReportHealthFromTheTick();
        }
        m_Objects->StartStatusServer();
        m_Objects->StartTimer();
        return std::nullopt;
    }

    // From here on close requests go to close (the window's own close, or
    // Stop). One that came in during start-up follows on the event loop.
    void Run(std::function<void(int reason)> close) {
        m_Close = std::move(close);
        if (m_PendingClose) {
            QTimer::singleShot(0, [this] { m_Close(*m_PendingClose); });
        }
    }

    // A signal's close request; kept for Run while the start is not done.
    void RequestClose(int reason) {
        if (m_Close) {
            m_Close(reason);
        } else if (!m_PendingClose) {
            m_PendingClose = reason;
        }
    }

    // The stop line, once, and the end of the event loop.
    void Stop(int reason) {
        if (m_Stopping || !m_Objects) {
            return;
        }
        m_Stopping = true;
        m_Objects->StopTimer();
        tw::Gateway& gateway = m_Objects->GetGateway();
        gateway.BeginEvent();
        m_Objects->Link().KeepUnacknowledgedAtStop();
        for (const std::string& line : tw::DiscardedAtStopLines(gateway, m_Objects->Link())) {
            gateway.WriteEventLog(line);
        }
        gateway.WriteEventLog(tw::StoppingLine(reason));
        QCoreApplication::quit();
    }

  private:
    void CopyEventLogToSystemLog() {
        m_Objects->GetGateway().m_EventLogCopy = [this](const std::string& message) {
            if (const auto priority = tw::SystemLogPriority(message)) {
                m_Service.CopyToSystemLog(*priority, message);
            }
        };
    }

    void ReportHealthFromTheTick() {
        m_Health = std::make_unique<tw::ServiceHealth>(
            m_Service,
            [this] { return tw::ServiceStatusLine(m_Objects->GetGateway(), m_Objects->Link()); },
            tw::Supervisor::kUpdateInterval);
        m_Objects->SetAfterTick([this] { m_Health->Tick(); });
    }

    std::string m_AppFolder;
    tw::ServiceControl& m_Service;
    bool m_RunAsService;
    tw::InstanceLock m_Lock;
    std::unique_ptr<tw::GatewayObjects> m_Objects;
    std::unique_ptr<tw::ServiceHealth> m_Health;
    std::function<void(int)> m_Close;
    std::optional<int> m_PendingClose;
    bool m_Stopping = false;
};

int RunHeadless(int argc, char** argv, const tw::CommandLine& commandLine,
                const std::string& appFolder, tw::ServiceControl& service, bool runAsService) {
    QCoreApplication application(argc, argv);
    tw::MemoryView view;
    tw::NoStartupWindow window;
    tw::StreamMessageBoxes messages(std::cerr);
    GatewayRun run(appFolder, service, runAsService);
    tw::SignalWatcher signalWatcher(runAsService, [&run](int reason) { run.RequestClose(reason); });
    if (auto status = run.Start(commandLine, view, window, messages)) {
        return *status;
    }
    run.Run([&run](int reason) { run.Stop(reason); });
    QCoreApplication::exec();
    return tw::ExitOk;
}

#ifdef TW_HAVE_WIDGETS
int RunWindowed(int argc, char** argv, const tw::CommandLine& commandLine,
                const std::string& appFolder, tw::ServiceControl& service, bool runAsService) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const tw::SystemClock clock;
    tw::MainWindow mainWindow(clock, appFolder + tw::kDebugInfoFileName);
    MainWindowSteps window(mainWindow);
    DialogMessageBoxes messages;
    GatewayRun run(appFolder, service, runAsService);
    tw::SignalWatcher signalWatcher(runAsService, [&run](int reason) { run.RequestClose(reason); });
    if (auto status = run.Start(commandLine, mainWindow, window, messages)) {
        return *status;
    }
    mainWindow.SetCloseHandler([&run](int reason) { run.Stop(reason); });
    run.Run([&mainWindow](int reason) { mainWindow.CloseWithReason(reason); });
    if (!runAsService) {
        mainWindow.show();
    }
    QApplication::exec();
    return tw::ExitOk;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // A peer or reader that went away, or a file that reached its size limit,
    // must cost a failed write, not the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const tw::CommandLine commandLine =
        tw::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (commandLine.m_Action) {
        case tw::CommandLine::Action::Invalid:
            std::cerr << "tellwick: " << commandLine.m_Error << "\n" << tw::UsageText();
            return tw::ExitUsage;
        case tw::CommandLine::Action::ShowHelp:
            std::cout << tw::UsageText();
            return tw::ExitOk;
        case tw::CommandLine::Action::ShowVersion:
            std::cout << "Tellwick for Zorvan, version " << tw::kProgramVersion << "\n";
            return tw::ExitOk;
        case tw::CommandLine::Action::CheckConfig:
            return tw::RunConfigCheck(tw::AbsoluteAppFolder(ChosenAppFolder(commandLine)),
                                      std::cout, std::cerr);
        default:
            break;
    }
    const std::string appFolder = tw::PrepareAppFolder(ChosenAppFolder(commandLine));
    tw::SystemdServiceControl service(ExecutablePath(), appFolder);
    const bool runAsService =
        tw::RunsAsService(commandLine.m_Service, std::getenv("NOTIFY_SOCKET"));
#ifdef TW_HAVE_WIDGETS
    if (!tw::ChooseHeadless(commandLine.m_Headless, runAsService, std::getenv("DISPLAY"),
                            std::getenv("WAYLAND_DISPLAY"), std::getenv("QT_QPA_PLATFORM"))) {
        return RunWindowed(argc, argv, commandLine, appFolder, service, runAsService);
    }
#endif
    return RunHeadless(argc, argv, commandLine, appFolder, service, runAsService);
}

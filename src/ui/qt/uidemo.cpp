// Shows both windows filled with a typical site's rows, link state and ESPA
// dialogue. With --screenshots DIR it saves screenshot-main.png and
// screenshot-debug.png into DIR and ends.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <string>

#include "espa/trace.h"
#include "shell/clock.h"
#include "ui/qt/debugwindow.h"
#include "ui/qt/mainwindow.h"

namespace {

using tw::View;

void FillRows(tw::MainWindow& main) {
    struct SampleRow {
        int16_t Port;
        const char* Description;
        const char* Status;
        const char* TxBytes;
        const char* RxBytes;
    };
    const SampleRow rows[] = {
        {0, "Nurse call ward 3", "Connected to 10.0.0.7:40001", "312", "1045"},
        {1, "Fire panel B", "Connected to COM1 (1,9600,E,7,1,0)", "58", "233"},
        {2, "Building management", "Disconnected from 192.168.1.20:2000", "", ""},
        {5, "DECT gateway", "Waiting for connection at port 5000", "", ""},
    };
    for (const SampleRow& row : rows) {
        main.AddPortRow(row.Port, row.Description);
        main.SetPortColumn(row.Port, View::ColumnStatus, row.Status);
        main.SetPortColumn(row.Port, View::ColumnTxBytes, row.TxBytes);
        main.SetPortColumn(row.Port, View::ColumnRxBytes, row.RxBytes);
    }
    main.SetStatusPanel(1, "Connected to Zorvan 127.0.0.1:51734");
    main.SetStatusPanel(2, "Zorvan TxBytes:1873, RxBytes:0");
}

std::string Render(const std::string& text) {
    std::string rendering;
    for (char c : text) {
        rendering += tw::RenderTraceCharacter(static_cast<unsigned char>(c));
    }
    return rendering;
}

// One call on port 0 and its alarm, as the trace shows them.
void FillTrace(tw::MainWindow& main, const tw::Clock& clock) {
    const std::string time = tw::FormatTraceTime(clock.Now());
    const std::string block =
        "\x01"
        "1\x02"
        "1\x1f"
        "123\x1e"
        "2\x1fRoom 12 bed 2\x1e"
        "3\x1f"
        "1\x1e"
        "4\x1f"
        "1\x03"
        "F";
    const struct {
        const char* Prefix;
        std::string Text;
    } lines[] = {
        {" Rx <- 0: ", "1\x05"},
        {" Tx -> 0: ", "\x06"},
        {" Rx <- 0: ", block},
        {" Tx -> Zorvan: ", "1|||Nurse call ward 3|123|Room 12 bed 2|1|Call|Ward 3\n"},
        {" Tx -> 0: ", "\x06"},
        {" Rx <- 0: ", "\x04"},
        {" Rx <- 1: ", "2\x05"},
        {" Tx -> 1: ", "\x04"},
        {" Tx -> Zorvan: ", "1|||WATCHDOG\n\n"},
    };
    for (const auto& line : lines) {
        main.AddDebugLine(time + line.Prefix + Render(line.Text));
    }
}

void SaveScreenshots(tw::MainWindow& main, const QString& folder) {
    QDir().mkpath(folder);
    main.OpenDebugWindow()->Flush();
    main.grab().save(QDir(folder).filePath(QStringLiteral("screenshot-main.png")));
    main.OpenDebugWindow()->grab().save(
        QDir(folder).filePath(QStringLiteral("screenshot-debug.png")));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const qsizetype shotsAt = arguments.indexOf(QStringLiteral("--screenshots"));
    const QString shotsFolder =
        shotsAt >= 0 && shotsAt + 1 < arguments.size() ? arguments.at(shotsAt + 1) : QString();

    tw::SystemClock clock;
    tw::MainWindow main(clock);
    FillRows(main);
    main.ShowExitKeyHint();
    main.AppendVersionToCaption("1.0.08");
    main.SetCloseHandler([](int /*reason*/) { QApplication::quit(); });
    main.show();
    main.ToggleDebugWindow();
    main.OpenDebugWindow()->move(main.x(), main.y() + main.frameGeometry().height() + 40);
    FillTrace(main, clock);

    if (!shotsFolder.isEmpty()) {
        // Shoot once both windows have been laid out and painted.
        QTimer::singleShot(500, &main, [&main, shotsFolder] {
            SaveScreenshots(main, shotsFolder);
            QApplication::quit();
        });
    }
    return QApplication::exec();
}

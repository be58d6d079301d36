#include "ui/qt/mainwindow.h"

#include <QCloseEvent>
#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QTime>
#include <QTreeWidget>
#include <algorithm>

#include "core/stopreason.h"
#include "ui/qt/debugwindow.h"
#include "ui/qt/latin1.h"
#include "ui/qt/windowicon.h"

namespace tw {
namespace {

// Sizes in pixels at 96 dpi.
constexpr int kClientWidth = 830;
constexpr int kClientHeight = 134;
constexpr std::array<int, View::kColumnCount> kColumnWidths = {167, 300, 53, 53, 142, 50, 50};
constexpr int kLinkPanelWidth = 379;
// Numbers and times, read down a column.
constexpr std::array<int, 5> kCenteredColumns = {View::ColumnTxBytes, View::ColumnRxBytes,
                                                 View::ColumnLastCall, View::ColumnCalls,
                                                 View::ColumnNaks};
constexpr int kCounterPanelWidth = 96;

bool ValidPort(int16_t port) {
    return port >= 0 && port < kPortCount;
}

// A status-bar panel of a set width. The link panel keeps that width whatever
// its text and gives way first when the window is too narrow for all four
// panels; the counter panel, read at a glance, is at least that wide and
// widens to show its whole text.
class StatusPanel : public QLabel {
  public:
    enum class Fit { Yield, Widen };

    StatusPanel(int width, Fit fit, QWidget* parent) : QLabel(parent), m_Width(width), m_Fit(fit) {
        setSizePolicy(fit == Fit::Yield ? QSizePolicy::Maximum : QSizePolicy::Fixed,
                      QSizePolicy::Preferred);
    }
    QSize sizeHint() const override {
        const QSize text = QLabel::sizeHint();
        return {m_Fit == Fit::Yield ? m_Width : std::max(m_Width, text.width()), text.height()};
    }
    QSize minimumSizeHint() const override {
        return {m_Fit == Fit::Yield ? 0 : sizeHint().width(), QLabel::minimumSizeHint().height()};
    }

  private:
    int m_Width;
    Fit m_Fit;
};

// Panel 1 (link state) and 2 (counters) have their set widths; the date and
// the time take what their texts need.
QLabel* NewPanel(std::size_t index, double scale, QWidget* bar) {
    switch (index) {
        case 0:
            return new StatusPanel(qRound(kLinkPanelWidth * scale), StatusPanel::Fit::Yield, bar);
        case 1:
            return new StatusPanel(qRound(kCounterPanelWidth * scale), StatusPanel::Fit::Widen,
                                   bar);
        default:
            return new QLabel(bar);
    }
}

}  // namespace

MainWindow::MainWindow(const Clock& clock, std::string debugSaveFile)
    : m_Clock(clock), m_DebugSaveFile(std::move(debugSaveFile)) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Tellwick for Zorvan Alarm Server"));
    setWindowIcon(TellwickIcon());

    const double scale = logicalDpiX() / 96.0;
    BuildConnectionList(scale);
    BuildStatusBar(scale);
    BuildMenus();

    m_DateTimeTimer.setInterval(1000);
    connect(&m_DateTimeTimer, &QTimer::timeout, this, [this] { RefreshDateAndTime(); });
    m_DateTimeTimer.start();
    RefreshDateAndTime();

    // The client area excludes the menu bar.
    resize(qRound(kClientWidth * scale),
           qRound(kClientHeight * scale) + menuBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
    delete m_Debug;
}

void MainWindow::BuildConnectionList(double scale) {
    m_Connections = new QTreeWidget(this);
    m_Connections->setObjectName(QStringLiteral("ListView_Connections"));
    m_Connections->setRootIsDecorated(false);
    m_Connections->setItemsExpandable(false);
    m_Connections->setUniformRowHeights(true);
    m_Connections->setAllColumnsShowFocus(true);
    m_Connections->setHeaderLabels({QStringLiteral("Description"), QStringLiteral("Status"),
                                    QStringLiteral("Tx bytes"), QStringLiteral("Rx bytes"),
                                    QStringLiteral("Last call"), QStringLiteral("Calls"),
                                    QStringLiteral("NAKs")});
    m_Connections->header()->setStretchLastSection(false);
    for (int column = 0; column < kColumnCount; ++column) {
        m_Connections->setColumnWidth(column, qRound(kColumnWidths[column] * scale));
    }
    for (const int column : kCenteredColumns) {
        m_Connections->headerItem()->setTextAlignment(column, Qt::AlignCenter);
    }
    setCentralWidget(m_Connections);
}

void MainWindow::BuildStatusBar(double scale) {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    for (std::size_t i = 0; i < m_Panels.size(); ++i) {
        QLabel* panel = NewPanel(i, scale, bar);
        panel->setObjectName(QStringLiteral("StatusBar_Panel%1").arg(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setIndent(3);
        bar->addWidget(panel);
        m_Panels[i] = panel;
    }
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("Menu_File"));
    m_MenuExit = file->addAction(QStringLiteral("&Exit"));
    m_MenuExit->setObjectName(QStringLiteral("Menu_Exit"));
    connect(m_MenuExit, &QAction::triggered, this, [this] { CloseWithReason(StopRequested); });

    QMenu* show = menuBar()->addMenu(QStringLiteral("&Show"));
    show->setObjectName(QStringLiteral("Menu_Show"));
    m_MenuDebug = show->addAction(QStringLiteral("&Debug"));
    m_MenuDebug->setObjectName(QStringLiteral("Menu_Debug"));
    m_MenuDebug->setCheckable(true);
    connect(m_MenuDebug, &QAction::triggered, this, [this] { ToggleDebugWindow(); });
}

QTreeWidgetItem* MainWindow::Row(int16_t port) const {
    return ValidPort(port) ? m_PortListItem[port] : nullptr;
}

void MainWindow::AddPortRow(int16_t port, const std::string& description) {
    if (!ValidPort(port)) {
        return;
    }
    delete m_PortListItem[port];
    int position = 0;
    for (int other = 0; other < port; ++other) {
        position += m_PortListItem[other] != nullptr ? 1 : 0;
    }
    auto* item = new QTreeWidgetItem({FromLatin1(description)});
    for (const int column : kCenteredColumns) {
        item->setTextAlignment(column, Qt::AlignCenter);
    }
    m_Connections->insertTopLevelItem(position, item);
    m_PortListItem[port] = item;
}

bool MainWindow::HasPortRow(int16_t port) const {
    return Row(port) != nullptr;
}

std::string MainWindow::PortColumn(int16_t port, Column column) const {
    const QTreeWidgetItem* item = Row(port);
    return item != nullptr ? ToLatin1(item->text(column)) : std::string();
}

void MainWindow::SetPortColumn(int16_t port, Column column, const std::string& text) {
    QTreeWidgetItem* item = Row(port);
    if (item == nullptr) {
        return;
    }
    // Comparing first spares a repaint of rows whose text has not changed.
    const QString newText = FromLatin1(text);
    if (item->text(column) != newText) {
        item->setText(column, newText);
    }
}

std::string MainWindow::StatusPanel(int panel) const {
    if (panel < PanelZorvanLink || panel > PanelTime) {
        return {};
    }
    return ToLatin1(m_Panels[panel - PanelZorvanLink]->text());
}

void MainWindow::SetStatusPanel(int panel, const std::string& text) {
    if (panel != PanelZorvanLink && panel != PanelZorvanCounters) {
        return;
    }
    const QString newText = FromLatin1(text);
    QLabel* label = m_Panels[panel - PanelZorvanLink];
    if (label->text() != newText) {
        // The link panel may be too narrow for its text; the tooltip shows all of it.
        label->setText(newText);
        label->setToolTip(newText);
    }
}

void MainWindow::AddDebugLine(const std::string& line) {
    if (m_Debug != nullptr) {
        m_Debug->AddDebugLine(line);
    }
}

void MainWindow::AppendVersionToCaption(const std::string& version) {
    setWindowTitle(windowTitle() + QStringLiteral(" - Version ") + FromLatin1(version));
}

void MainWindow::ShowExitKeyHint() {
    m_MenuExit->setText(QStringLiteral("&Exit\tAlt+F4"));
}

void MainWindow::CloseWithReason(int reason) {
    m_CloseReason = reason;
    close();
    m_CloseReason = StopWindowClosed;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_CloseReported) {
        m_CloseReported = true;
        if (m_CloseHandler) {
            m_CloseHandler(m_CloseReason);
        }
    }
    if (m_Debug != nullptr) {
        m_Debug->close();
    }
    event->accept();
}

void MainWindow::ToggleDebugWindow() {
    if (m_Debug != nullptr) {
        m_Debug->close();
    } else {
        m_Debug = new DebugWindow(m_Clock, m_DebugSaveFile);
        m_Debug->SetClosedHandler([this] { DebugWindowClosed(); });
        m_Debug->show();
    }
    m_MenuDebug->setChecked(m_Debug != nullptr);
}

void MainWindow::DebugWindowClosed() {
    // The window is still inside its own close handling; delete it afterwards.
    m_Debug->deleteLater();
    m_Debug = nullptr;
    m_MenuDebug->setChecked(false);
}

void MainWindow::RefreshDateAndTime() {
    const LocalTime now = m_Clock.Now();
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(QDate(now.Year, now.Month, now.Day), QLocale::ShortFormat);
    const QString time =
        locale.toString(QTime(now.Hour, now.Minute, now.Second), QLocale::ShortFormat);
    QLabel* datePanel = m_Panels[PanelDate - PanelZorvanLink];
    QLabel* timePanel = m_Panels[PanelTime - PanelZorvanLink];
    if (datePanel->text() != date) {
        datePanel->setText(date);
    }
    if (timePanel->text() != time) {
        timePanel->setText(time);
    }
}

void MainWindow::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    // Two lines across the top of the client area, where the list does not
    // cover it: dark grey, then white one pixel lower.
    QPainter painter(this);
    const int top = menuWidget() != nullptr ? menuWidget()->geometry().bottom() + 1 : 0;
    const int right = frameGeometry().width();
    painter.setPen(QColor(128, 128, 128));
    painter.drawLine(0, top, right, top);
    painter.setPen(QColor(255, 255, 255));
    painter.drawLine(0, top + 1, right, top + 1);
}

}  // namespace tw

#include "ui/qt/debugwindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>

#include "base/logfolder.h"
#include "base/systemtext.h"
#include "ui/debuginfo.h"
#include "ui/qt/latin1.h"
#include "ui/qt/windowicon.h"

namespace tw {
namespace {

constexpr int kFlushIntervalMs = 50;
constexpr int kClientWidth = 646;
constexpr int kClientHeight = 151;

}  // namespace

QFont DebugListFont() {
    QFont font(QStringLiteral("Courier New"), 9);
    if (QFontInfo(font).family() == font.family()) {
        return font;
    }
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(9);
    return fixed;
}

DebugWindow::DebugWindow(const Clock& clock, std::string saveFile)
    : m_Clock(clock), m_SaveFile(std::move(saveFile)) {
    setWindowTitle(QStringLiteral("Tellwick for Zorvan Alarm Server - Debug"));
    setWindowIcon(TellwickIcon());

    m_Model = new DebugListModel();
    m_Model->setParent(this);
    m_List = new QListView(this);
    m_List->setObjectName(QStringLiteral("List_Debug"));
    m_List->setModel(m_Model);
    m_List->setFont(DebugListFont());
    m_List->setUniformItemSizes(true);
    m_List->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_List->setSelectionMode(QAbstractItemView::SingleSelection);
    setCentralWidget(m_List);

    BuildMenu();

    m_FlushTimer.setSingleShot(true);
    m_FlushTimer.setInterval(kFlushIntervalMs);
    connect(&m_FlushTimer, &QTimer::timeout, this, [this] { Flush(); });

    m_ReportProblem = [this](const QString& message) {
        QMessageBox::warning(this, windowTitle(), message);
    };

    const double scale = logicalDpiX() / 96.0;
    resize(qRound(kClientWidth * scale),
           qRound(kClientHeight * scale) + menuBar()->sizeHint().height());
}

void DebugWindow::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("Menu_File"));
    QAction* save = file->addAction(QStringLiteral("&Save Debug Info to Tellwick.TXT"));
    save->setObjectName(QStringLiteral("Menu_Save"));
    connect(save, &QAction::triggered, this, [this] { SaveDebugInfo(); });
    file->addSeparator()->setObjectName(QStringLiteral("Menu_Del_0"));
    m_MenuShowLast = file->addAction(QStringLiteral("&Always show last row"));
    m_MenuShowLast->setObjectName(QStringLiteral("Menu_ShowLast"));
    m_MenuShowLast->setCheckable(true);
    m_MenuShowLast->setChecked(true);
    file->addSeparator()->setObjectName(QStringLiteral("Menu_Del_2"));
    QAction* clear = file->addAction(QStringLiteral("&Clear the debug window"));
    clear->setObjectName(QStringLiteral("Menu_Clear"));
    connect(clear, &QAction::triggered, this, [this] { ClearList(); });
}

void DebugWindow::AddDebugLine(const std::string& line) {
    m_Pending.push_back(line);
    if (m_Pending.size() > DebugListModel::kMaxLines) {
        m_Pending.pop_front();
    }
    if (!m_FlushTimer.isActive()) {
        m_FlushTimer.start();
    }
}

void DebugWindow::Flush() {
    m_FlushTimer.stop();
    if (m_Pending.empty()) {
        return;
    }
    m_Model->Append(m_Pending);
    m_Pending.clear();
    if (ShowLastRow()) {
        ScrollToLastRow();
    }
}

void DebugWindow::ScrollToLastRow() {
    const QModelIndex last = m_Model->index(m_Model->rowCount() - 1);
    m_List->setCurrentIndex(last);
    m_List->scrollTo(last);
}

void DebugWindow::SaveDebugInfo() {
    Flush();
    const std::string& path = m_SaveFile;
    const std::string block = FormatDebugInfo(m_Model->Lines(), m_Clock.Now());
    if (!AppendToRegularFile(path, ToSystemText(block))) {
        m_ReportProblem(QStringLiteral("The debug info could not be saved to %1.")
                            .arg(QString::fromLocal8Bit(path.c_str())));
    }
}

void DebugWindow::ClearList() {
    m_FlushTimer.stop();
    m_Pending.clear();
    m_Model->Clear();
}

bool DebugWindow::ShowLastRow() const {
    return m_MenuShowLast->isChecked();
}

void DebugWindow::SetShowLastRow(bool on) {
    m_MenuShowLast->setChecked(on);
}

std::vector<std::string> DebugWindow::Lines() const {
    return m_Model->Lines();
}

void DebugWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    m_FlushTimer.stop();
    if (m_Closed) {
        // Cleared first: the handler may schedule this window's deletion.
        auto closed = std::move(m_Closed);
        m_Closed = nullptr;
        closed();
    }
}

}  // namespace tw

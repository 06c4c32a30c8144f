#include "StationWindow.h"

#include "BurnCommand.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "IdentityPool.h"
#include "PoolSource.h"
#include "StrUtil.h"
#include "UiText.h"

#include <QCloseEvent>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

enum Column { ColPort, ColState, ColMac, ColId, ColGood, ColFailed, ColMessage, ColumnCount };

constexpr int kRefreshMs = 200;
// The lot's counts come from its store: asked once a second, not on every refresh.
constexpr int kCountEveryTicks = 5;

std::vector<std::string> SplitPorts(const QString& text) {
    std::vector<std::string> ports;
    for (const QString& part : text.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts))
        ports.push_back(ToLocal(part));
    return ports;
}

QString JoinPorts(const std::vector<std::string>& ports) {
    QStringList parts;
    for (const std::string& p : ports)
        parts << FromLocal(p);
    return parts.join(QLatin1Char(' '));
}

} // namespace

CStationWindow::CStationWindow(const BurnConfig& config, tagSetup setup, QWidget* parent)
    : QWidget(parent, Qt::Window), m_config(config), m_setup(std::move(setup)) {
    setFont(DialogFont(9));
    setWindowIcon(MainIcon());

    m_pPortsLabel = new QLabel(this);
    m_pPorts = new QLineEdit(JoinPorts(m_setup.ports), this);
    m_pPortsLabel->setBuddy(m_pPorts);
    m_pLotLabel = new QLabel(this);
    m_pLotName = new QLineEdit(FromLocal(m_setup.lot), this);
    m_pLotLabel->setBuddy(m_pLotName);
    m_pLot = new QLabel(this);
    m_pLot->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pNotice = new QLabel(this);
    m_pNotice->setTextFormat(Qt::PlainText);
    m_pNotice->setWordWrap(true);
    m_pNotice->setStyleSheet(QStringLiteral("color: #b00000"));
    m_pNotice->hide();

    m_pTable = new QTableWidget(0, ColumnCount, this);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setTabKeyNavigation(false); // Tab leaves the table for the buttons
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    // MAC and ID are read whole; the last message takes what is left.
    for (int c = ColPort; c < ColMessage; ++c)
        m_pTable->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);

    m_pStartAll = new QPushButton(this);
    m_pStopAll = new QPushButton(this);
    m_pStart = new QPushButton(this);
    m_pStop = new QPushButton(this);
    m_pLog = new QPushButton(this);

    auto* top = new QHBoxLayout;
    top->addWidget(m_pPortsLabel);
    top->addWidget(m_pPorts, 3);
    top->addWidget(m_pLotLabel);
    top->addWidget(m_pLotName, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_pStartAll, m_pStopAll})
        buttons->addWidget(b);
    buttons->addStretch(1);
    for (QPushButton* b : {m_pStart, m_pStop, m_pLog})
        buttons->addWidget(b);
    auto* items = new QGridLayout;
    BuildItemRows(items);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(items);
    layout->addWidget(m_pLot);
    layout->addWidget(m_pNotice);
    layout->addWidget(m_pTable, 1);
    layout->addLayout(buttons);
    setTabOrder(m_pPorts, m_pLotName);
    QWidget* before = m_pLotName;
    for (const tagItemRow& row : m_itemRows)
        for (QLineEdit* edit : {row.text, row.number}) {
            setTabOrder(before, edit);
            before = edit;
        }
    setTabOrder(before, m_pTable);
    setTabOrder(m_pTable, m_pStartAll);
    setTabOrder(m_pStartAll, m_pStopAll);
    setTabOrder(m_pStopAll, m_pStart);
    setTabOrder(m_pStart, m_pStop);
    setTabOrder(m_pStop, m_pLog);

    connect(m_pStartAll, &QPushButton::clicked, this, &CStationWindow::StartAll);
    connect(m_pStopAll, &QPushButton::clicked, this, &CStationWindow::StopAll);
    connect(m_pStart, &QPushButton::clicked, this, [this] { StartRow(m_pTable->currentRow()); });
    connect(m_pStop, &QPushButton::clicked, this, [this] { StopRow(m_pTable->currentRow()); });
    connect(m_pLog, &QPushButton::clicked, this, [this] { ShowLog(m_pTable->currentRow()); });
    connect(m_pTable, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { ShowLog(row); });
    // Enter on a row opens its log too, so the keyboard reaches everything the mouse does.
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* enter = new QShortcut(QKeySequence(key), m_pTable, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this] { ShowLog(m_pTable->currentRow()); });
    }
    connect(m_pPorts, &QLineEdit::editingFinished, this, [this] {
        if (!m_bRunning)
            BuildRows();
    });

    m_pTimer = new QTimer(this);
    connect(m_pTimer, &QTimer::timeout, this, &CStationWindow::Refresh);
    m_pTimer->start(kRefreshMs);

    ApplyLanguage();
    BuildRows();
    RefreshCounts();
    resize(960, 130 + 30 * std::max<int>(4, m_pTable->rowCount()) + 34 * int(m_itemRows.size()));
    m_pTable->setFocus(Qt::TabFocusReason);
}

CStationWindow::~CStationWindow() {
    m_pTimer->stop();
    m_station.reset(); // stops every port: units follow the lot's rules
}

void CStationWindow::closeEvent(QCloseEvent* event) {
    if (m_station)
        m_station->StopAll();
    QWidget::closeEvent(event);
}

void CStationWindow::ApplyLanguage() {
    setWindowTitle(TextOf(strStationCaption));
    m_pPortsLabel->setText(TextOf(strPortsLabel));
    m_pLotLabel->setText(TextOf(strLotLabel));
    m_pTable->setHorizontalHeaderLabels({TextOf(strColPort), TextOf(strColState), TextOf(strColMac),
                                         TextOf(strColId), TextOf(strColGood), TextOf(strColFailed),
                                         TextOf(strColMessage)});
    m_pStartAll->setText(TextOf(strStartAll));
    m_pStopAll->setText(TextOf(strStopAll));
    m_pStart->setText(TextOf(strStartPort));
    m_pStop->setText(TextOf(strStopPort));
    m_pLog->setText(TextOf(strShowLog));
    for (const tagItemRow& row : m_itemRows)
        row.label->setText(
            LabelFromLocal(row.offsetRow > 0 ? OffsetItemLabel(row.offsetRow, row.offset) : row.keyLabel));
    for (const auto& [row, dialog] : m_logs)
        dialog->setWindowTitle(FromLocal(
            tv::FormatRuntime(Txt(strLogCaption), m_station ? m_station->View(row).port.c_str() : "")));
    RefreshCounts();
    Refresh();
}

void CStationWindow::BuildItemRows(QGridLayout* grid) {
    auto add = [&](tagItemRow row) {
        const int r = int(m_itemRows.size());
        row.label = new QLabel(this);
        row.label->setTextFormat(Qt::PlainText);
        row.label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row.text = new QLineEdit(this);
        row.text->setPlaceholderText(QString::fromLatin1(kStringPlaceholder));
        row.number = new QLineEdit(this);
        row.number->setPlaceholderText(QString::fromLatin1(kNumberPlaceholder));
        row.label->setBuddy(row.text);
        for (const auto& [id, edit] :
             {std::pair{row.stringId, row.text}, std::pair{row.numberId, row.number}}) {
            edit->setObjectName(QStringLiteral("item%1").arg(id));
            auto typed = m_setup.items.find(id);
            if (typed != m_setup.items.end())
                edit->setText(FromLocal(typed->second));
        }
        grid->addWidget(row.label, r, 0);
        grid->addWidget(row.text, r, 1);
        grid->addWidget(new QLabel(QStringLiteral("+"), this), r, 2);
        grid->addWidget(row.number, r, 3);
        m_itemRows.push_back(row);
    };
    int r = 0;
    for (const tagExtraInfo& item : m_config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            add({item.nStringID, item.nNumberID, ++r, item.dwOffset, std::string()});
    for (const tagExtra& item : m_config.m_aExtra)
        if (item.IsOperatorEntered())
            add({item.nStringID, item.nNumberID, 0, 0, KeyItemLabel(item)});
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
}

QLineEdit* CStationWindow::ItemEdit(int controlId) const {
    for (const tagItemRow& row : m_itemRows) {
        if (row.stringId == controlId)
            return row.text;
        if (row.numberId == controlId)
            return row.number;
    }
    return nullptr;
}

std::map<int, std::string> CStationWindow::TypedItems() const {
    std::map<int, std::string> typed;
    for (const tagItemRow& row : m_itemRows)
        for (const auto& [id, edit] :
             {std::pair{row.stringId, row.text}, std::pair{row.numberId, row.number}})
            if (!edit->text().isEmpty())
                typed[id] = ToLocal(edit->text());
    return typed;
}

void CStationWindow::EnableFields(bool enable) {
    m_pPorts->setEnabled(enable);
    m_pLotName->setEnabled(enable);
    for (const tagItemRow& row : m_itemRows) {
        row.text->setEnabled(enable);
        row.number->setEnabled(enable);
    }
}

void CStationWindow::BuildRows() {
    const std::vector<std::string> ports = SplitPorts(m_pPorts->text());
    m_pTable->setRowCount(int(ports.size()));
    for (int r = 0; r < int(ports.size()); ++r) {
        for (int c = 0; c < ColumnCount; ++c)
            if (!m_pTable->item(r, c))
                m_pTable->setItem(r, c, new QTableWidgetItem);
        m_pTable->item(r, ColPort)->setText(FromLocal(ports[size_t(r)]));
        m_pTable->item(r, ColState)->setText(TextOf(strStateIdle));
    }
    if (m_pTable->rowCount() > 0 && m_pTable->currentRow() < 0)
        m_pTable->selectRow(0);
}

bool CStationWindow::EnsureStation() {
    const std::vector<std::string> ports = SplitPorts(m_pPorts->text());
    const std::string lot = ToLocal(m_pLotName->text().trimmed());
    const std::map<int, std::string> items = TypedItems();
    if (m_station &&
        (m_bRunning || (m_setup.ports == ports && m_setup.lot == lot && m_stationItems == items)))
        return true;
    if (ports.empty() || lot.empty() || !m_setup.sources)
        return false;
    const bool records = m_setup.records;
    // The burn button's checks, on what every port would burn. A refusal shows under the rows:
    // nothing here blocks, other ports may be running.
    CLaneWindow entries;
    FillLotEntries(entries, m_config, records, items);
    entries.AddControl(IDC_SERIAL_PORT, ports.front());
    if (const auto refusal = BurnEntriesRefusal(entries, m_config, true)) {
        m_pNotice->setText(FromLocal(refusal->caption + ": " + refusal->text));
        m_pNotice->show();
        return false;
    }
    m_pNotice->clear();
    m_pNotice->hide();
    m_setup.ports = ports;
    m_setup.lot = lot;
    BuildRows();
    for (auto& [row, dialog] : m_logs)
        dialog->deleteLater();
    m_logs.clear();
    m_logTexts.clear();
    m_logLines.clear();
    CStation::Options options;
    options.boardsWanted = m_setup.boards;
    options.timeoutMs = m_setup.timeoutMs;
    const BurnConfig& config = m_config;
    m_station.reset();
    m_stationItems = items;
    m_station = std::make_unique<CStation>(
        m_config, m_setup.sources(lot), ports, options,
        [&config, records, &items](CLaneWindow& w) { FillLotEntries(w, config, records, items); });
    // A port whose job ended is seen at once, not at the next tick: its restart, and the run's end.
    m_station->SetOnChange([this] {
        if (!m_bUpdatePosted.exchange(true))
            QMetaObject::invokeMethod(
                this, [this] { UpdateRows(); }, Qt::QueuedConnection);
    });
    return true;
}

void CStationWindow::StartAll() {
    if (!EnsureStation())
        return;
    m_bRunning = true;
    EnableFields(false);
    m_station->StartAll();
}

void CStationWindow::StopAll() {
    if (m_station)
        m_station->StopAll();
}

void CStationWindow::StartRow(int row) {
    if (row < 0 || !EnsureStation() || row >= m_station->PortCount())
        return;
    m_bRunning = true;
    EnableFields(false);
    m_station->Start(row);
}

void CStationWindow::StopRow(int row) {
    if (m_station && row >= 0 && row < m_station->PortCount())
        m_station->Stop(row);
}

QString CStationWindow::StateText(const tagLaneView& view) const {
    switch (view.state) {
    case LaneState::Idle:
        return TextOf(strStateIdle);
    case LaneState::Waiting:
        return TextOf(strStateWaiting);
    case LaneState::Downloading:
        return FromLocal(tv::FormatRuntime(Txt(strStateDownloading), view.percent));
    case LaneState::Writing:
        return TextOf(strStateWriting);
    case LaneState::Verifying:
        return TextOf(strStateVerifying);
    case LaneState::Done:
        return TextOf(strStateDone);
    case LaneState::Failed:
        return TextOf(strStateFailed);
    }
    return QString();
}

void CStationWindow::RefreshCounts() {
    const std::string lot = ToLocal(m_pLotName->text().trimmed());
    std::optional<tagLotCounts> counts;
    if (m_setup.counts && !lot.empty())
        counts = m_setup.counts(lot);
    if (!counts) {
        m_pLot->setText(FromLocal(tv::FormatRuntime(Txt(strStationLot), lot.c_str(), "-", "-", "-")));
        return;
    }
    const std::string f = std::to_string(counts->free), b = std::to_string(counts->burnt),
                      u = std::to_string(counts->uncertain);
    m_pLot->setText(
        FromLocal(tv::FormatRuntime(Txt(strStationLot), lot.c_str(), f.c_str(), b.c_str(), u.c_str())));
}

void CStationWindow::Refresh() {
    if (++m_nCountTicks >= kCountEveryTicks) {
        m_nCountTicks = 0;
        RefreshCounts();
    }
    UpdateRows();
}

void CStationWindow::UpdateRows() {
    m_bUpdatePosted = false;
    if (!m_station)
        return;
    m_station->Poll();
    for (int r = 0; r < m_station->PortCount() && r < m_pTable->rowCount(); ++r) {
        const tagLaneView v = m_station->View(r);
        const QString texts[ColumnCount] = {FromLocal(v.port),       StateText(v),
                                            FromLocal(v.mac),        FromLocal(v.id),
                                            QString::number(v.good), QString::number(v.failed),
                                            FromLocal(v.lastMessage)};
        for (int c = 0; c < ColumnCount; ++c)
            if (m_pTable->item(r, c)->text() != texts[c])
                m_pTable->item(r, c)->setText(texts[c]);
        // An open log takes the lines it has not shown yet.
        auto it = m_logTexts.find(r);
        if (it != m_logTexts.end()) {
            const std::vector<std::string> lines = m_station->Lines(r, m_logLines[r]);
            for (const std::string& line : lines)
                it->second->appendPlainText(FromLocal(line));
            m_logLines[r] += lines.size();
        }
    }
    if (m_bRunning && m_station->Finished()) {
        m_bRunning = false;
        EnableFields(true);
        RefreshCounts();
        if (m_onFinished)
            m_onFinished();
    }
}

QDialog* CStationWindow::LogWindow(int row) {
    auto it = m_logs.find(row);
    return it == m_logs.end() ? nullptr : it->second;
}

void CStationWindow::ShowLog(int row) {
    if (!m_station || row < 0 || row >= m_station->PortCount())
        return;
    QDialog* dialog = LogWindow(row);
    if (!dialog) {
        // Not modal: the other ports and this window go on while it is open.
        dialog = new QDialog(this, Qt::Window);
        dialog->setWindowTitle(
            FromLocal(tv::FormatRuntime(Txt(strLogCaption), m_station->View(row).port.c_str())));
        auto* text = new QPlainTextEdit(dialog);
        text->setReadOnly(true);
        auto* layout = new QVBoxLayout(dialog);
        layout->addWidget(text);
        dialog->resize(640, 420);
        m_logs[row] = dialog;
        m_logTexts[row] = text;
        m_logLines[row] = 0;
    }
    Refresh();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

CStationWindow::tagSetup StationSetupFromPool(const std::string& url, const std::string& programDir) {
    const std::string where = url.empty() ? std::string(kDefaultPoolUrl) : url;
    CStationWindow::tagSetup setup;
    setup.sources = [where, programDir](const std::string& lot) -> CStation::SourceMaker {
        return
            [where, programDir, lot](const std::string&) { return MakePoolSource(where, programDir, lot); };
    };
    // Opened once, on the window's thread, and kept for the window's life.
    auto pool = std::make_shared<std::unique_ptr<IIdentityPool>>();
    setup.counts = [where, programDir, pool](const std::string& lot) -> std::optional<tagLotCounts> {
        if (!*pool) {
            PoolResult result;
            *pool = OpenIdentityPool(where, programDir, false, result);
            if (!*pool)
                return std::nullopt;
        }
        std::vector<LotStatus> status;
        if (!(*pool)->Status(lot, status).Ok() || status.empty())
            return std::nullopt;
        return tagLotCounts{status[0].free, status[0].burnt, status[0].uncertain};
    };
    return setup;
}

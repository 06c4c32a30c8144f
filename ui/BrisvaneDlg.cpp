#include "BrisvaneDlg.h"

#include "AboutDlg.h"
#include "BurnCommand.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "EntryHandlers.h"
#include "ExtraItems.h"
#include "IdValue.h"
#include "LogView.h"
#include "MessageDlg.h"
#include "ModalHook.h"
#include "PoolSource.h"
#include "PortList.h"
#include "SavedEntries.h"
#include "StationWindow.h"
#include "SystemMenu.h"
#include "TextTables.h"
#include "UiText.h"
#include "Version.h"

#include <QAction>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdio>

#include <algorithm>
#include <climits>
#include <optional>

namespace {

enum class EKind {
    Edit,
    Check,
    HiddenCheck,
    Radio,
    DefaultButton,
    Button,
    Combo,
    LabelLeft,
    LabelRight,
    Log
};

struct tagTemplateItem {
    int id;
    const char* name;
    EKind kind;
    int x, y, w, h; // dialog units
    const char* text;
    bool tabStop;
};

// The dialog template, in its order (also the tab and z order).
const tagTemplateItem kTemplate[] = {
    {IDC_MAC, "IDC_MAC", EKind::Edit, 65, 33, 86, 14, "", true},
    {IDC_ID_STRING, "IDC_ID_STRING", EKind::Edit, 65, 54, 87, 14, "", true},
    {IDC_HEX_RULE, "IDC_HEX_RULE", EKind::Check, 25, 244, 250, 10, "十六进制", false},
    {IDC_RULE_CLEAR, "IDC_RULE_CLEAR", EKind::Radio, 65, 214, 46, 10, "清空", false},
    {IDOK, "IDOK", EKind::DefaultButton, 59, 368, 50, 14, "烧写", false},
    {IDC_RULE_INCREASE, "IDC_RULE_INCREASE", EKind::Radio, 114, 214, 46, 10, "递增", false},
    {IDC_RULE_DECREASE, "IDC_RULE_DECREASE", EKind::Radio, 163, 214, 46, 10, "递减", false},
    {IDC_SAVE_RECORDS, "IDC_SAVE_RECORDS", EKind::Check, 25, 229, 250, 10, "保存", false},
    {IDC_SERIAL_PORT, "IDC_SERIAL_PORT", EKind::Combo, 65, 13, 86, 30, "", false},
    {IDC_LABEL_PORT, "IDC_LABEL_PORT", EKind::LabelRight, 7, 15, 48, 8, "串口:", false},
    {IDC_LABEL_MAC, "IDC_LABEL_MAC", EKind::LabelRight, 36, 35, 19, 8, "Mac:", false},
    {IDC_SAMPLE2, "IDC_SAMPLE2", EKind::LabelLeft, 163, 41, 137, 8, "(示例2: 00:a1:bb:c3:44:E5)", false},
    {IDC_SAMPLE1, "IDC_SAMPLE1", EKind::LabelLeft, 163, 31, 137, 8, "(示例1: 00a1bbc344E5)", false},
    {IDC_LABEL_ID, "IDC_LABEL_ID", EKind::LabelRight, 41, 58, 13, 8, "ID:", false},
    {IDC_ID_NUMBER, "IDC_ID_NUMBER", EKind::Edit, 163, 54, 86, 14, "", false},
    {IDC_LABEL_RULE, "IDC_LABEL_RULE", EKind::LabelRight, 6, 214, 49, 8, "变化规则:", false},
    {IDC_LOG, "IDC_LOG", EKind::Log, 11, 276, 285, 91, "", false},
    {IDCANCEL, "IDCANCEL", EKind::Button, 176, 368, 50, 14, "关闭", false},
    {IDC_CHIP_VARIANT, "IDC_CHIP_VARIANT", EKind::HiddenCheck, 163, 16, 74, 10, "Zelkor200", false},
    {-1, "IDC_PLUS", EKind::LabelLeft, 155, 56, 8, 8, "+", false},
    {IDC_SINGLE_NET, "IDC_SINGLE_NET", EKind::Check, 25, 261, 86, 10, "单网口", true},
    {IDC_DOUBLE_NET, "IDC_DOUBLE_NET", EKind::Check, 114, 261, 86, 10, "双网口", true},
};

// The controls whose texts follow the language.
const std::pair<int, TextId> kControlTexts[] = {
    {IDC_LABEL_PORT, strLabelPort},
    {IDC_SAMPLE1, strSample1},
    {IDC_SAMPLE2, strSample2},
    {IDC_HEX_RULE, strHexRule},
    {IDC_LABEL_RULE, strLabelRule},
    {IDC_RULE_CLEAR, strRuleClear},
    {IDC_RULE_INCREASE, strRuleIncrease},
    {IDC_RULE_DECREASE, strRuleDecrease},
    {IDC_SAVE_RECORDS, strSaveRecords},
    {IDOK, strBurnButton},
    {IDCANCEL, strCloseButton},
    {IDC_SINGLE_NET, strSingleNet},
    {IDC_DOUBLE_NET, strDoubleNet},
};

// Where the download progress bar stands: in the button row, right of the close button.
constexpr int kProgressX = 232, kProgressY = 370, kProgressW = 64, kProgressH = 10;

// The item rows' geometry, in client pixels: a running bottom line from 168, 35 per row.
constexpr int kFirstRowBottom = 168;
constexpr int kRowStep = 35;

// A rectangle given as left, top, right, bottom (right and bottom outside it).
QRect RectLTRB(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

// Check boxes and radio buttons answer a click anywhere on their rectangle, not only on the mark
// and the text, as the operator knows them.
template <class TButton> class CWholeRectButton : public TButton {
public:
    using TButton::TButton;

protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};

bool IsRuleRadio(int id) {
    return id == IDC_RULE_CLEAR || id == IDC_RULE_INCREASE || id == IDC_RULE_DECREASE;
}

} // namespace

CBrisvaneDlg::CBrisvaneDlg(BurnConfig& config, CSerialComm& comm, const tagOptions& options, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_config(config), m_options(options), m_bridge(*this),
      m_pRunner(std::make_unique<CJobRunner>(comm, config)) {
    if (m_options.nBurnTimeoutMs != 0)
        m_pRunner->SetTimeoutMs(m_options.nBurnTimeoutMs);
    if (!m_config.m_strLot.empty()) {
        m_pSource =
            std::make_unique<CLotSource>(m_config.m_strPoolUrl, m_config.m_strModuleDir, m_config.m_strLot);
        m_pRunner->SetIdentitySource(m_pSource.get());
    }
    m_pRunner->SetListener(&m_bridge);
    m_burnTimer.setSingleShot(true);
    connect(&m_burnTimer, &QTimer::timeout, this, &CBrisvaneDlg::OnBurnTimer);
    SetMessageOwner(this);

    setWindowTitle(QStringLiteral("Telvanor V" TELVANOR_VERSION));
    setFont(DialogFont(9));
    CreateMenu();
    CreateControls();

    // The opening, in its order.
    AddToSystemMenu(this, ID_SYS_ABOUT, QStringLiteral("关于 Telvanor (&A)..."));
    setWindowIcon(MainIcon());
    CreateItemRows();
    FillPortList();
    for (int id : kOpeningChecked)
        qobject_cast<QAbstractButton*>(Control(id))->setChecked(true);
    EnableControls(kOpeningDisabled, false);
    EnableItemNumbers(m_bridge, m_config, false);
    if (m_options.bUseSavedEntries)
        ApplySavedEntries();
    if (!m_options.strExtraPort.isEmpty())
        AddExtraPort(m_options.strExtraPort);
    ChooseStartLanguage(m_config.m_nAppLanguage);
    ApplyLanguage();
    SetControlText(IDC_ID_STRING, kStringPlaceholder);
    SetControlText(IDC_ID_NUMBER, kNumberPlaceholder);
    LotAdjustment(m_bridge, m_config);
    Control(IDC_MAC)->setFocus(Qt::TabFocusReason);
}

CBrisvaneDlg::~CBrisvaneDlg() {
    CloseWindow();
    // Detached before the runner ends: a job that has just finished a board may still be sending
    // its last lines after naming its successor (which the closing stopped). Its calls now return
    // at once, so the runner's end never waits on a job that waits on this window.
    m_bridge.Detach();
    if (MessageOwner() == this)
        SetMessageOwner(nullptr);
    if (m_pSource) {
        // A unit kept from a failed board turns uncertain; the pool closes on the runner's thread,
        // where it was opened. The window is gone by now: the notice goes to standard error.
        m_pRunner->EndRun();
        std::vector<std::string> notices;
        m_pRunner->RunOnThread([this, &notices] {
            notices = m_pSource->TakeNotices();
            m_pSource.reset();
        });
        m_pRunner->WaitIdle();
        m_pRunner->SetIdentitySource(nullptr);
        for (const std::string& notice : notices)
            std::fprintf(stderr, "telvanor: %s\n", notice.c_str());
    }
    m_pRunner.reset();
}

void CBrisvaneDlg::CreateMenu() {
    m_pMenuBar = new QMenuBar(this);
    m_pMenuBar->setNativeMenuBar(false);
    m_pLanguageMenu = m_pMenuBar->addMenu(QStringLiteral("语言"));
    m_pChinese = m_pLanguageMenu->addAction(QStringLiteral("中文"));
    m_pEnglish = m_pLanguageMenu->addAction(QStringLiteral("英文"));
    m_pChinese->setCheckable(true);
    m_pEnglish->setCheckable(true);
    connect(m_pChinese, &QAction::triggered, this, [this] { SwitchLanguage(true); });
    connect(m_pEnglish, &QAction::triggered, this, [this] { SwitchLanguage(false); });
#ifndef Q_OS_WIN
    // Without a system menu to extend, the About item goes where the operator looks for it.
    m_pLanguageMenu->addSeparator();
    m_pAbout = m_pLanguageMenu->addAction(QStringLiteral("关于 Telvanor (&A)..."));
    m_pAbout->setMenuRole(QAction::NoRole);
    connect(m_pAbout, &QAction::triggered, this, &CBrisvaneDlg::OnAbout);
#endif
    m_pLanguageMenu->addSeparator();
    m_pStation = m_pLanguageMenu->addAction(QString());
    m_pStation->setMenuRole(QAction::NoRole);
    connect(m_pStation, &QAction::triggered, this, &CBrisvaneDlg::OnStation);
}

void CBrisvaneDlg::AddControl(int id, QWidget* widget, bool tabStop) {
    widget->installEventFilter(this);
    if (id == -1)
        return;
    m_aControls.push_back({id, widget, tabStop});
    m_mapControls[id] = widget;
}

void CBrisvaneDlg::CreateControls() {
    const tagBaseUnits units = BaseUnits(font());
    m_pClient = new QWidget(this);
    m_pClient->setObjectName(QStringLiteral("client"));
    m_pClient->setFixedSize(MapDialogRect(units, 0, 0, 307, 390).size());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(m_pMenuBar);
    layout->addWidget(m_pClient);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_pRuleGroup = new QButtonGroup(this);
    m_pRuleGroup->setExclusive(true);
    for (const tagTemplateItem& item : kTemplate) {
        const QString text = QString::fromUtf8(item.text);
        QWidget* widget = nullptr;
        switch (item.kind) {
        case EKind::Edit:
            widget = new QLineEdit(m_pClient);
            break;
        case EKind::Check:
        case EKind::HiddenCheck:
            widget = new CWholeRectButton<QCheckBox>(text, m_pClient);
            break;
        case EKind::Radio: {
            auto* radio = new CWholeRectButton<QRadioButton>(text, m_pClient);
            m_pRuleGroup->addButton(radio, item.id);
            widget = radio;
            break;
        }
        case EKind::DefaultButton:
        case EKind::Button: {
            auto* button = new QPushButton(text, m_pClient);
            // Only the burn button is pressed by Enter, and only from the last input field.
            button->setAutoDefault(false);
            button->setDefault(item.kind == EKind::DefaultButton);
            widget = button;
            break;
        }
        case EKind::Combo:
            widget = new QComboBox(m_pClient);
            break;
        case EKind::LabelLeft:
        case EKind::LabelRight: {
            auto* label = new QLabel(text, m_pClient);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment((item.kind == EKind::LabelLeft ? Qt::AlignLeft : Qt::AlignRight) |
                                Qt::AlignTop);
            widget = label;
            break;
        }
        case EKind::Log:
            m_pLog = new CLogView(m_pClient);
            widget = m_pLog;
            break;
        }
        widget->setObjectName(QLatin1String(item.name));
        QRect rect = MapDialogRect(units, item.x, item.y, item.w, item.h);
        if (item.kind == EKind::Combo) // the closed box is as high as an edit; the rest is its list
            rect.setHeight(MapDialogRect(units, 0, 0, 0, 14).height());
        widget->setGeometry(rect);
        if (item.kind != EKind::LabelLeft && item.kind != EKind::LabelRight)
            widget->setFocusPolicy(item.tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        if (item.kind == EKind::HiddenCheck)
            widget->hide();
        AddControl(item.id, widget, item.tabStop);
    }

    connect(qobject_cast<QPushButton*>(Control(IDOK)), &QPushButton::clicked, this,
            &CBrisvaneDlg::OnBurnClicked);
    connect(qobject_cast<QPushButton*>(Control(IDCANCEL)), &QPushButton::clicked, this, &QDialog::reject);
    connect(qobject_cast<QAbstractButton*>(Control(IDC_RULE_CLEAR)), &QAbstractButton::clicked, this,
            [this] { OnRuleRemove(m_bridge, m_config); });
    for (int id : {IDC_RULE_INCREASE, IDC_RULE_DECREASE})
        connect(qobject_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this,
                [this] { OnRuleStep(m_bridge, m_config); });
    for (int id : {IDC_SINGLE_NET, IDC_DOUBLE_NET})
        connect(qobject_cast<QAbstractButton*>(Control(id)), &QAbstractButton::clicked, this,
                [this, id] { OnNetClicked(id); });

    m_pProgress = new QProgressBar(m_pClient);
    m_pProgress->setObjectName(QStringLiteral("downloadProgress"));
    m_pProgress->setRange(0, 100);
    m_pProgress->setGeometry(MapDialogRect(units, kProgressX, kProgressY, kProgressW, kProgressH));
    m_pProgress->hide();
}

void CBrisvaneDlg::CreateItemRows() {
    int y = kFirstRowBottom;
    int r = 0;
    auto addRow = [&](int labelId, const std::string& label, bool offsetItem, int stringId, int plusId,
                      int numberId, const QString& suffix) {
        auto* caption = new QLabel(LabelFromLocal(label), m_pClient);
        caption->setTextFormat(Qt::PlainText);
        caption->setAlignment(Qt::AlignRight | Qt::AlignTop);
        caption->setObjectName(
            QStringLiteral("%1_LABEL%2").arg(offsetItem ? "IDC_EXTRA" : "IDC_KEY", suffix));
        caption->setGeometry(offsetItem ? RectLTRB(10, y - 32, 104, y) : RectLTRB(10, y - 24, 94, y));
        AddControl(labelId, caption, false);

        auto* text = new QLineEdit(QString::fromLatin1(kStringPlaceholder), m_pClient);
        text->setObjectName(QStringLiteral("%1_STRING%2").arg(offsetItem ? "IDC_EXTRA" : "IDC_KEY", suffix));
        text->setGeometry(RectLTRB(114, y - 28, 266, y - 4));
        text->setFocusPolicy(Qt::StrongFocus);
        AddControl(stringId, text, true);

        auto* plus = new QLabel(QStringLiteral("+"), m_pClient);
        plus->setAlignment(Qt::AlignRight | Qt::AlignTop);
        plus->setObjectName(QStringLiteral("%1_PLUS%2").arg(offsetItem ? "IDC_EXTRA" : "IDC_KEY", suffix));
        plus->setGeometry(RectLTRB(268, y - 26, 279, y - 6));
        AddControl(plusId, plus, false);

        auto* number = new QLineEdit(QString::fromLatin1(kNumberPlaceholder), m_pClient);
        number->setObjectName(
            QStringLiteral("%1_NUMBER%2").arg(offsetItem ? "IDC_EXTRA" : "IDC_KEY", suffix));
        number->setGeometry(RectLTRB(285, y - 28, 436, y - 4));
        number->setFocusPolicy(Qt::ClickFocus);
        AddControl(numberId, number, false);
        y += kRowStep;
    };
    for (const tagExtraInfo& item : m_config.m_aExtraInfo)
        if (item.IsOperatorEntered()) {
            ++r;
            addRow(item.nLabelID, OffsetItemLabel(r, item.dwOffset), true, item.nStringID, item.nPlusID,
                   item.nNumberID, QString::number(item.nLabelID - IDC_EXTRA_LABEL));
        }
    for (const tagExtra& item : m_config.m_aExtra)
        if (item.IsOperatorEntered())
            addRow(item.nLabelID, KeyItemLabel(item), false, item.nStringID, item.nPlusID, item.nNumberID,
                   QString::number(item.nLabelID - IDC_KEY_LABEL));
}

void CBrisvaneDlg::FillPortList() {
    QStringList names = EnumeratePorts();
    if (names.isEmpty())
        names = FallbackPorts();
    SortPortNames(names);
    auto* combo = qobject_cast<QComboBox*>(Control(IDC_SERIAL_PORT));
    combo->clear();
    combo->addItems(names);
    combo->setCurrentIndex(0);
}

void CBrisvaneDlg::AddExtraPort(const QString& name) {
    auto* combo = qobject_cast<QComboBox*>(Control(IDC_SERIAL_PORT));
    int index = combo->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0) {
        QStringList names;
        for (int i = 0; i < combo->count(); ++i)
            names << combo->itemText(i);
        names << name;
        SortPortNames(names);
        index = int(names.indexOf(name));
        combo->insertItem(index, name);
    }
    combo->setCurrentIndex(index);
}

void CBrisvaneDlg::ApplySavedEntries() {
    const std::optional<tagSavedEntries> saved = LoadSavedEntries();
    if (!saved)
        return;
    auto* combo = qobject_cast<QComboBox*>(Control(IDC_SERIAL_PORT));
    QStringList names;
    for (int i = 0; i < combo->count(); ++i)
        names << combo->itemText(i);
    // An empty saved name would match every entry and pick the second one for no reason.
    if (!saved->strSerialPort.isEmpty()) {
        const int index = FindSavedPort(names, saved->strSerialPort);
        if (index >= 0)
            combo->setCurrentIndex(index);
    }
    qobject_cast<QLineEdit*>(Control(IDC_MAC))->setText(saved->strMacAddress);
    if (saved->nMacAddressChangeMode == 2 || saved->nMacAddressChangeMode == 3) {
        const int rule = saved->nMacAddressChangeMode == 2 ? IDC_RULE_INCREASE : IDC_RULE_DECREASE;
        qobject_cast<QAbstractButton*>(Control(rule))->setChecked(true);
        OnRuleStep(m_bridge, m_config);
    }
    if (saved->nIsSave == 1)
        qobject_cast<QAbstractButton*>(Control(IDC_SAVE_RECORDS))->setChecked(true);
    const bool dual = saved->nPorts == 1;
    qobject_cast<QAbstractButton*>(Control(IDC_DOUBLE_NET))->setChecked(dual);
    qobject_cast<QAbstractButton*>(Control(IDC_SINGLE_NET))->setChecked(!dual);
}

void CBrisvaneDlg::SaveEntries() {
    if (!m_options.bUseSavedEntries)
        return;
    tagSavedEntries entries;
    auto* combo = qobject_cast<QComboBox*>(Control(IDC_SERIAL_PORT));
    entries.strSerialPort = combo->currentIndex() >= 0 ? combo->currentText() : QString();
    entries.strMacAddress = qobject_cast<QLineEdit*>(Control(IDC_MAC))->text();
    if (ControlChecked(IDC_RULE_CLEAR))
        entries.nMacAddressChangeMode = 1;
    else if (ControlChecked(IDC_RULE_INCREASE))
        entries.nMacAddressChangeMode = 2;
    else if (ControlChecked(IDC_RULE_DECREASE))
        entries.nMacAddressChangeMode = 3;
    entries.nIsSave = ControlChecked(IDC_SAVE_RECORDS) ? 1 : 0;
    entries.nPorts = ControlChecked(IDC_DOUBLE_NET) ? 1 : 0;
    StoreSavedEntries(entries); // a store that cannot be written is silently skipped
}

QWidget* CBrisvaneDlg::Control(int id) const {
    const auto it = m_mapControls.find(id);
    return it == m_mapControls.end() ? nullptr : it->second;
}

int CBrisvaneDlg::LastInputField() const {
    // The counts include fixed items, which have no row: then the field does not exist and Enter
    // never presses the burn button.
    if (const int n = int(m_config.m_aExtra.size()); n != 0)
        return IDC_KEY_STRING + n - 1;
    if (const int m = int(m_config.m_aExtraInfo.size()); m != 0)
        return IDC_EXTRA_STRING + m - 1;
    return IDC_ID_STRING;
}

int CBrisvaneDlg::NextOnEnter(int from) const {
    const int count = int(m_aControls.size());
    const auto it = std::find_if(m_aControls.begin(), m_aControls.end(),
                                 [from](const tagControl& c) { return c.id == from; });
    if (it == m_aControls.end())
        return 0;
    auto nextTabStop = [&](int index) {
        for (int step = 1; step <= count; ++step) {
            const tagControl& c = m_aControls[(index + step) % count];
            if (c.tabStop && c.widget->isVisibleTo(this) && c.widget->isEnabled())
                return int((index + step) % count);
        }
        return -1;
    };
    int next = nextTabStop(int(it - m_aControls.begin()));
    if (next >= 0 && IsRuleRadio(m_aControls[next].id))
        next = nextTabStop(next);
    return next >= 0 ? m_aControls[next].id : 0;
}

bool CBrisvaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::FocusIn)
        return QDialog::eventFilter(watched, event);
    const auto it = std::find_if(m_aControls.begin(), m_aControls.end(),
                                 [watched](const tagControl& c) { return c.widget == watched; });
    const int id = it == m_aControls.end() ? 0 : it->id;
    if (event->type() == QEvent::KeyPress && id != 0) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (id == LastInputField())
                return false; // on to the dialog, which presses the burn button
            if (const int next = NextOnEnter(id))
                Control(next)->setFocus(Qt::TabFocusReason);
            return true;
        }
    } else if (event->type() == QEvent::FocusIn && id != 0) {
        if (id == IDC_ID_STRING)
            OnSetFocusIdString(m_bridge);
        else if (id == IDC_ID_NUMBER)
            OnSetFocusIdNumber(m_bridge);
        else if ((id >= IDC_EXTRA_STRING && id < IDC_EXTRA_STRING + kMaxOffsetInputs) ||
                 (id >= IDC_KEY_STRING && id < IDC_KEY_STRING + kMaxKeyInputs))
            OnSetFocusItemString(m_bridge, id);
        else if ((id >= IDC_EXTRA_NUMBER && id < IDC_EXTRA_NUMBER + kMaxOffsetInputs) ||
                 (id >= IDC_KEY_NUMBER && id < IDC_KEY_NUMBER + kMaxKeyInputs))
            OnSetFocusItemNumber(m_bridge, id);
    }
    return QDialog::eventFilter(watched, event);
}

void CBrisvaneDlg::keyPressEvent(QKeyEvent* event) {
    // The controls' Enter is handled in eventFilter; what arrives here from the last input field
    // presses the burn button. With no control focused (the focused one was disabled during a
    // burn) Enter does nothing.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (!focusWidget() || focusWidget() != Control(LastInputField()))) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CBrisvaneDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (IsSystemCommand(message, ID_SYS_ABOUT)) {
        OnAbout();
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}

void CBrisvaneDlg::OnBurnClicked() {
    OnBurn(m_bridge, *m_pRunner, m_config);
}

void CBrisvaneDlg::OnNetClicked(int id) {
    // A pair of check boxes that behave as one choice: a click on the checked one keeps it checked.
    qobject_cast<QAbstractButton*>(Control(IDC_SINGLE_NET))->setChecked(id == IDC_SINGLE_NET);
    qobject_cast<QAbstractButton*>(Control(IDC_DOUBLE_NET))->setChecked(id == IDC_DOUBLE_NET);
}

void CBrisvaneDlg::OnBurnTimer() {
    HideProgress();
    OnBurnTimeout(m_bridge, *m_pRunner, m_config);
}

void CBrisvaneDlg::OnBurnStatus(StatusKind kind, const std::string& text, bool fromJob) {
    auto toLog = [this, kind, text] {
        // The text changes with every line; the view is repainted at most every 20 ms, so a fast
        // run of lines does not hold the job behind one paint per line.
        if (m_pLog->updatesEnabled()) {
            m_pLog->setUpdatesEnabled(false);
            QTimer::singleShot(20, m_pLog, [log = m_pLog] { log->setUpdatesEnabled(true); });
        }
        m_pLog->ApplyStatus(g_strLog, kind, text);
    };
    // A job's line goes into the log as the next event on this thread, in order with everything
    // else posted here, but not while the job waits: laying out a line costs more than a tenth of
    // a millisecond, which the job spends on the line instead.
    if (fromJob)
        QMetaObject::invokeMethod(m_pLog, toLog, Qt::QueuedConnection);
    else
        toLog();
    // A line that starts the log afresh starts a new board or ends the run: no download is under way.
    if (kind == StatusKind::ReplaceAll)
        HideProgress();
    if (m_options.onStatus)
        m_options.onStatus(kind, text);
}

void CBrisvaneDlg::OnProgress(BurnStage stage, int percent) {
    // The bar shows the download, the stage an operator waits for; it goes once the download is done.
    if (stage == BurnStage::Download && percent < 100) {
        m_pProgress->setValue(std::clamp(percent, 0, 100));
        m_pProgress->show();
    } else {
        HideProgress();
    }
}

void CBrisvaneDlg::OnBoardEnded(bool burnt) {
    HideProgress();
    if (burnt && m_options.onBoardBurnt)
        m_options.onBoardBurnt();
}

void CBrisvaneDlg::HideProgress() {
    m_pProgress->hide();
    m_pProgress->reset();
}

void CBrisvaneDlg::ApplyLanguage() {
    const std::pair<unsigned, TextId> systemItems[] = {
        {kScRestore, strSysRestore},          {kScMove, strSysMove},         {kScSize, strSysSize},
        {kScMinimize, strSysMinimize},        {kScMaximize, strSysMaximize}, {kScClose, strSysClose},
        {unsigned(ID_SYS_ABOUT), strSysAbout}};
    for (const auto& [command, text] : systemItems)
        SetSystemMenuText(this, command, TextOf(text));
    m_pLanguageMenu->setTitle(TextOf(strMenuLanguage));
    m_pChinese->setText(TextOf(strMenuChinese));
    m_pEnglish->setText(TextOf(strMenuEnglish));
    if (m_pAbout)
        m_pAbout->setText(TextOf(strSysAbout));
    m_pStation->setText(TextOf(strMenuStation));
    if (m_pStationWindow)
        m_pStationWindow->ApplyLanguage();
    const bool chinese = g_pText.load(std::memory_order_acquire) == &g_TextChinese;
    m_pChinese->setChecked(chinese);
    m_pEnglish->setChecked(!chinese);
    m_pMenuBar->update();

    for (const auto& [id, text] : kControlTexts)
        SetControlText(id, Txt(text));
    int r = 0;
    for (const tagExtraInfo& item : m_config.m_aExtraInfo)
        if (item.IsOperatorEntered())
            SetControlText(item.nLabelID, OffsetItemLabel(++r, item.dwOffset));
}

void CBrisvaneDlg::OnStation() {
    if (!m_pStationWindow) {
        // The ports and the lot are chosen in the station window itself; the items typed here are
        // offered there as they stand.
        CStationWindow::tagSetup setup = StationSetupFromPool(std::string(), m_config.m_strModuleDir);
        for (const auto& [ids, placeholder] : {std::pair{ItemStringIds(m_config), kStringPlaceholder},
                                               std::pair{ItemNumberIds(m_config), kNumberPlaceholder}})
            for (int id : ids)
                if (const std::string text = ControlText(id);
                    !text.empty() && !IsPlaceholder(text, placeholder))
                    setup.items[id] = text;
        m_pStationWindow = new CStationWindow(m_config, std::move(setup), this);
        m_pStationWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pStationWindow->show();
    m_pStationWindow->raise();
    m_pStationWindow->activateWindow();
}

void CBrisvaneDlg::SwitchLanguage(bool chinese) {
    g_pText.store(chinese ? &g_TextChinese : &g_TextEnglish, std::memory_order_release);
    ApplyLanguage();
}

void CBrisvaneDlg::OnAbout() {
    CAboutDlg about(this);
    ExecModal(about);
}

std::string CBrisvaneDlg::ControlText(int id) const {
    QWidget* widget = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return ToLocal(edit->text());
    if (auto* combo = qobject_cast<QComboBox*>(widget))
        return ToLocal(combo->currentText());
    if (auto* label = qobject_cast<QLabel*>(widget))
        return LabelToLocal(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return ToLocal(button->text());
    if (widget == m_pLog)
        return g_strLog;
    return std::string();
}

void CBrisvaneDlg::SetControlText(int id, const std::string& text) {
    QWidget* widget = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(FromLocal(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        // A drop-down list takes a text only as the choice of an entry that has it.
        const int index = combo->findText(FromLocal(text), Qt::MatchFixedString);
        if (index >= 0)
            combo->setCurrentIndex(index);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(LabelFromLocal(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(FromLocal(text));
    }
}

bool CBrisvaneDlg::ControlChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(Control(id));
    return button && button->isCheckable() && button->isChecked();
}

bool CBrisvaneDlg::ControlEnabled(int id) const {
    QWidget* widget = Control(id);
    return widget && widget->isEnabled();
}

void CBrisvaneDlg::EnableControls(const std::vector<int>& ids, bool enable) {
    for (int id : ids) {
        QWidget* widget = Control(id);
        if (!widget)
            continue;
        // A disabled control keeps no focus, and the focus does not wander on to the next field
        // (which would clear its placeholder as if the operator had entered it).
        if (!enable && widget->hasFocus())
            widget->clearFocus();
        widget->setEnabled(enable);
    }
}

void CBrisvaneDlg::FocusControl(int id) {
    if (QWidget* widget = Control(id))
        widget->setFocus(Qt::TabFocusReason);
}

void CBrisvaneDlg::ShowSystemMessageBox(const std::string& caption, const std::string& text,
                                        const std::shared_ptr<CStopFlag>& stop) {
    QMessageBox box(QMessageBox::Critical, FromLocal(caption), FromLocal(text), QMessageBox::Ok, this);
    QTimer watch;
    if (stop) {
        connect(&watch, &QTimer::timeout, &box, [&box, stop] {
            if (stop->IsStopped())
                box.reject();
        });
        watch.start(50);
    }
    ExecModal(box);
}

void CBrisvaneDlg::SetBurnTimer(unsigned ms) {
    m_burnTimer.start(int(std::min<unsigned>(ms, INT_MAX)));
}

void CBrisvaneDlg::KillBurnTimer() {
    m_burnTimer.stop();
    HideProgress();
}

void CBrisvaneDlg::CloseWindow() {
    if (m_bClosed)
        return;
    m_bClosed = true;
    m_burnTimer.stop();
    // Every job, named or not, is stopped at once: it sends nothing more, the port is closed only
    // after it returned, and nothing keeps the program alive after the window has gone.
    if (m_pRunner->StopAllJobs())
        m_pRunner->ClosePort();
    SaveEntries();
}

void CBrisvaneDlg::done(int result) {
    CloseWindow();
    QDialog::done(result);
}

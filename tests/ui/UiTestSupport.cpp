#include "UiTestSupport.h"

#include "AboutDlg.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "LogView.h"
#include "MessageDlg.h"
#include "ModalHook.h"
#include "TextTables.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#if defined(__SANITIZE_THREAD__)
// Qt comes uninstrumented: the memory its own code touches through intercepted calls (memcpy, free)
// is not ours to judge, while its thread and lock calls still order ours.
extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
#endif

void PrepareUiTestEnvironment() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QTemporaryDir settingsDir;
    qputenv("XDG_CONFIG_HOME", settingsDir.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

CDialogRecorder::CDialogRecorder(Answer answer) {
    SetModalHook([this, answer](QDialog& dialog) {
        tagDialog record;
        if (auto* message = qobject_cast<CMessageDlg*>(&dialog)) {
            record = {QStringLiteral("message"), message->Caption(), message->Text()};
        } else if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            record = {QStringLiteral("system"), box->windowTitle(), box->text()};
        } else if (qobject_cast<CAboutDlg*>(&dialog)) {
            record = {QStringLiteral("about"), dialog.windowTitle(),
                      dialog.findChild<QLabel*>(QStringLiteral("IDC_UPDATE"))->text()};
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_dialogs.push_back(record);
        }
        answer(dialog);
    });
}

CDialogRecorder::~CDialogRecorder() {
    SetModalHook(nullptr);
}

std::vector<CDialogRecorder::tagDialog> CDialogRecorder::Dialogs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dialogs;
}

QStringList CDialogRecorder::Texts() const {
    QStringList texts;
    for (const tagDialog& d : Dialogs())
        texts << d.caption + QLatin1Char('|') + d.text;
    return texts;
}

std::unique_ptr<BurnConfig> MakeConfig(const std::string& extraInfo, const std::string& cfgName, int language,
                                       const std::string& dir) {
    auto config = std::make_unique<BurnConfig>();
    config->m_strModuleDir = dir;
    config->m_nAppLanguage = language;
    config->m_strExtraInfoText = extraInfo;
    config->m_strCfgNameText = cfgName;
    ParseItemLists(*config);
    return config;
}

void WriteStoredEntries(const tagStoredEntries& entries) {
    ClearStoredEntries();
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brisvane"));
    if (entries.serialPort)
        store.setValue(QStringLiteral("SerialPort"), *entries.serialPort);
    if (entries.macAddress)
        store.setValue(QStringLiteral("MacAddress"), *entries.macAddress);
    if (entries.changeMode)
        store.setValue(QStringLiteral("MacAddressChangeMode"), *entries.changeMode);
    if (entries.isSave)
        store.setValue(QStringLiteral("isSave"), *entries.isSave);
    if (entries.ports)
        store.setValue(QStringLiteral("Ports"), *entries.ports);
}

void ClearStoredEntries() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brisvane"));
    store.clear();
    store.sync();
}

QLineEdit* Edit(CBrisvaneDlg& dialog, int id) {
    return qobject_cast<QLineEdit*>(dialog.Control(id));
}

QAbstractButton* Button(CBrisvaneDlg& dialog, int id) {
    return qobject_cast<QAbstractButton*>(dialog.Control(id));
}

QComboBox* PortBox(CBrisvaneDlg& dialog) {
    return qobject_cast<QComboBox*>(dialog.Control(IDC_SERIAL_PORT));
}

QStringList PortNames(CBrisvaneDlg& dialog) {
    QStringList names;
    for (int i = 0; i < PortBox(dialog)->count(); ++i)
        names << PortBox(dialog)->itemText(i);
    return names;
}

bool ShowAndActivate(CBrisvaneDlg& dialog) {
    dialog.show();
    dialog.activateWindow();
    return QTest::qWaitForWindowActive(&dialog);
}

QString ExpectedLogDisplay(const std::string& log) {
    QString text = QString::fromLocal8Bit(log.data(), qsizetype(log.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString ShownLog(CBrisvaneDlg& dialog) {
    return dialog.LogView()->toPlainText();
}

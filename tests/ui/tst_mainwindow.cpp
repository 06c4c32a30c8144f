// The main window on the offscreen platform: opening, saved entries, port list, Enter key, rule and
// network-port buttons, the burn command's refusals, language switching, the About box.
#include "UiTestSupport.h"

#include "AboutDlg.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "LogView.h"
#include "PortList.h"
#include "SerialComm.h"
#include "StrUtil.h"
#include "TextTables.h"
#include "UiText.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

Q_DECLARE_METATYPE(std::string)

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithDefaults();
    void controlsDoNotOverlap();
    void tabOrder();
    void savedEntriesAtOpening_data();
    void savedEntriesAtOpening();
    void entriesSavedAtClosing_data();
    void entriesSavedAtClosing();
    void portListFallbackAndSorting();
    void extraPortFromCommandLine();
    void enterKey_data();
    void enterKey();
    void ruleButtonsSwitchNumberParts();
    void networkPortPair_data();
    void networkPortPair();
    void placeholdersOnFocus_data();
    void placeholdersOnFocus();
    void burnRefusals_data();
    void burnRefusals();
    void opensInConfiguredLanguage_data();
    void opensInConfiguredLanguage();
    void languageSwitchBackAndForth();
    void aboutBox();

private:
    // Texts of every control whose text follows the language, plus the offset label and the menu.
    QStringList LanguageTexts(CBrisvaneDlg& dialog, int offsetLabelId);
};

void TestMainWindow::init() {
    ClearStoredEntries();
    SetPortEnumerationForTests(
        QStringList{QStringLiteral("COM2"), QStringLiteral("COM10"), QStringLiteral("COM1")});
    ForceComFallbackForTests(false);
    g_strLog.clear();
}

void TestMainWindow::cleanup() {
    SetPortEnumerationForTests(std::nullopt);
    ForceComFallbackForTests(false);
    QVERIFY(g_pBurnThread.load() == nullptr);
}

void TestMainWindow::opensWithDefaults() {
    const auto config = MakeConfig("0x10", "sn");
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Telvanor V3.3"));
    QCOMPARE(PortNames(dialog), QStringList({"COM1", "COM10", "COM2"}));
    QCOMPARE(PortBox(dialog)->currentText(), QStringLiteral("COM1"));
    QCOMPARE(Edit(dialog, IDC_MAC)->text(), QString());
    QVERIFY(Button(dialog, IDC_RULE_CLEAR)->isChecked());
    QVERIFY(!Button(dialog, IDC_RULE_INCREASE)->isChecked());
    QVERIFY(!Button(dialog, IDC_RULE_DECREASE)->isChecked());
    QVERIFY(Button(dialog, IDC_SINGLE_NET)->isChecked());
    QVERIFY(!Button(dialog, IDC_DOUBLE_NET)->isChecked());
    QVERIFY(!Button(dialog, IDC_SAVE_RECORDS)->isChecked());
    for (int id : {IDC_ID_NUMBER, IDC_HEX_RULE, IDC_EXTRA_NUMBER, IDC_KEY_NUMBER})
        QVERIFY2(!dialog.Control(id)->isEnabled(), qPrintable(dialog.Control(id)->objectName()));
    for (int id : {IDC_MAC, IDC_ID_STRING, IDC_EXTRA_STRING, IDC_KEY_STRING, IDC_SERIAL_PORT, IDOK})
        QVERIFY(dialog.Control(id)->isEnabled());
    QCOMPARE(Edit(dialog, IDC_ID_STRING)->text(), QStringLiteral("<String>"));
    QCOMPARE(Edit(dialog, IDC_ID_NUMBER)->text(), QStringLiteral("<Number>"));
    QCOMPARE(Edit(dialog, IDC_EXTRA_STRING)->text(), QStringLiteral("<String>"));
    QCOMPARE(Edit(dialog, IDC_KEY_NUMBER)->text(), QStringLiteral("<Number>"));
    // The chip variant box exists for the job's control set, but is never shown.
    QVERIFY(!dialog.Control(IDC_CHIP_VARIANT)->isVisibleTo(&dialog));
    QVERIFY(dialog.Control(IDC_CHIP_VARIANT)->isEnabled());
    QCOMPARE(Button(dialog, IDOK)->text(), QStringLiteral("OK"));
    QCOMPARE(Button(dialog, IDCANCEL)->text(), QStringLiteral("Cancel"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("IDC_KEY_LABEL0"))->text(), QStringLiteral("sn:"));

    QVERIFY(ShowAndActivate(dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.Control(IDC_MAC));
    // Fixed size: the template's 307 x 390 dialog units below the menu bar.
    const QSize client = MapDialogRect(BaseUnits(dialog.font()), 0, 0, 307, 390).size();
    QCOMPARE(dialog.findChild<QWidget*>(QStringLiteral("client"))->size(), client);
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.Control(IDC_LOG)->geometry(), MapDialogRect(BaseUnits(dialog.font()), 11, 276, 285, 91));
    dialog.done(QDialog::Rejected);
}

void TestMainWindow::controlsDoNotOverlap() {
    // Two offset rows and two key rows: the rows stand on the bottom lines 168, 203, 238 and 273
    // pixels, between the ID row and the change-rule row.
    const auto config = MakeConfig("0x10|0x20", "sn|hw");
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    const QWidget* client = dialog.findChild<QWidget*>(QStringLiteral("client"));
    QList<QWidget*> visible;
    for (QWidget* w : client->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (w->isVisible())
            visible << w;
    QCOMPARE(dialog.Control(IDC_KEY_STRING + 1)->geometry().bottom() + 1, 273 - 4);
    for (QWidget* a : visible) {
        QVERIFY2(client->rect().contains(a->geometry()), qPrintable(a->objectName()));
        for (QWidget* b : visible)
            QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                     qPrintable(a->objectName() + QStringLiteral(" / ") + b->objectName()));
    }
}

void TestMainWindow::tabOrder() {
    const auto config = MakeConfig("0x10", "sn");
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    const QList<int> expected = {IDC_ID_STRING,    IDC_SINGLE_NET, IDC_DOUBLE_NET,
                                 IDC_EXTRA_STRING, IDC_KEY_STRING, IDC_MAC};
    for (int id : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), dialog.Control(id)->objectName());
    }
}

void TestMainWindow::savedEntriesAtOpening_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("savedPort"); // null: no value
    QTest::addColumn<QString>("savedMac");
    QTest::addColumn<int>("mode"); // -1: no value
    QTest::addColumn<int>("isSave");
    QTest::addColumn<int>("dual");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("rule");
    QTest::addColumn<bool>("records");
    QTest::addColumn<bool>("double");
    QTest::addColumn<QString>("mac");

    const QStringList com14 = {"COM1", "COM4"};
    const QStringList com110 = {"COM1", "COM10"};
    const QStringList com123 = {"COM1", "COM2", "COM3"};
    QTest::newRow("first run") << com123 << QString() << QString() << -1 << -1 << -1 << "COM1"
                               << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("saved port gone") << com14 << "COM3"
                                     << "" << 1 << 0 << 0 << "COM1" << int(IDC_RULE_CLEAR) << false << false
                                     << "";
    // An exact name wins; the prefix search, which starts at the second entry, is the fallback.
    QTest::newRow("exact name before a longer one")
        << com110 << "COM1"
        << "" << 1 << 0 << 0 << "COM1" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("exact name ignoring case")
        << QStringList{"ttyUSB1", "ttyUSB10"} << "TTYUSB1"
        << "" << 1 << 0 << 0 << "ttyUSB1" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("prefix when the exact name is gone")
        << QStringList{"COM10", "COM2"} << "COM1"
        << "" << 1 << 0 << 0 << "COM10" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("prefix search starts at the second entry")
        << QStringList{"COM10", "COM11", "COM2"} << "COM1"
        << "" << 1 << 0 << 0 << "COM11" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("prefix ignoring case")
        << com123 << "com3"
        << "" << 1 << 0 << 0 << "COM3" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("search wraps to the first entry")
        << QStringList{"ttyS0", "ttyUSB0", "ttyUSB1"} << "ttyS"
        << "" << 1 << 0 << 0 << "ttyS0" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("empty saved port keeps the first")
        << com123 << ""
        << "" << 1 << 0 << 0 << "COM1" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("increase") << com123 << "COM2"
                              << "00:1a:2b:3c:4d:5e" << 2 << 1 << 1 << "COM2" << int(IDC_RULE_INCREASE)
                              << true << true << "00:1a:2b:3c:4d:5e";
    QTest::newRow("decrease") << com123 << "COM2"
                              << "x" << 3 << 0 << 0 << "COM2" << int(IDC_RULE_DECREASE) << false << false
                              << "x";
    QTest::newRow("mode 0") << com123 << "COM2"
                            << "" << 0 << 0 << 0 << "COM2" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("mode 7") << com123 << "COM2"
                            << "" << 7 << 0 << 0 << "COM2" << int(IDC_RULE_CLEAR) << false << false << "";
    QTest::newRow("only the MAC saved") << com123 << QString() << "00a1bbc344E5" << -1 << -1 << -1 << "COM1"
                                        << int(IDC_RULE_CLEAR) << false << false << "00a1bbc344E5";
    QTest::newRow("isSave 2 and Ports 2 are no")
        << com123 << "COM1"
        << "" << 1 << 2 << 2 << "COM1" << int(IDC_RULE_CLEAR) << false << false << "";
}

void TestMainWindow::savedEntriesAtOpening() {
    QFETCH(QStringList, ports);
    QFETCH(QString, savedPort);
    QFETCH(QString, savedMac);
    QFETCH(int, mode);
    QFETCH(int, isSave);
    QFETCH(int, dual);
    tagStoredEntries stored;
    if (!savedPort.isNull())
        stored.serialPort = savedPort;
    if (!savedMac.isNull())
        stored.macAddress = savedMac;
    if (mode >= 0)
        stored.changeMode = mode;
    if (isSave >= 0)
        stored.isSave = isSave;
    if (dual >= 0)
        stored.ports = dual;
    WriteStoredEntries(stored);
    SetPortEnumerationForTests(ports);

    const auto config = MakeConfig("0x10", "sn");
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QTEST(PortBox(dialog)->currentText(), "port");
    QFETCH(int, rule);
    QVERIFY(Button(dialog, rule)->isChecked());
    const bool numbers = rule != IDC_RULE_CLEAR;
    for (int id : {IDC_ID_NUMBER, IDC_HEX_RULE, IDC_EXTRA_NUMBER, IDC_KEY_NUMBER})
        QCOMPARE(dialog.Control(id)->isEnabled(), numbers);
    QTEST(Button(dialog, IDC_SAVE_RECORDS)->isChecked(), "records");
    QTEST(Button(dialog, IDC_DOUBLE_NET)->isChecked(), "double");
    QCOMPARE(Button(dialog, IDC_SINGLE_NET)->isChecked(), !Button(dialog, IDC_DOUBLE_NET)->isChecked());
    QTEST(Edit(dialog, IDC_MAC)->text(), "mac");
    // The ID and the items are not saved: they open with their placeholders.
    QCOMPARE(Edit(dialog, IDC_ID_NUMBER)->text(), QStringLiteral("<Number>"));
    QCOMPARE(Edit(dialog, IDC_EXTRA_NUMBER)->text(), QStringLiteral("<Number>"));
}

void TestMainWindow::entriesSavedAtClosing_data() {
    QTest::addColumn<int>("portIndex");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<int>("rule");
    QTest::addColumn<bool>("records");
    QTest::addColumn<bool>("dual");
    QTest::addColumn<QString>("closeBy");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("reopenedPort");

    // The ports are COM1, COM10, COM2: each saved port is found again as itself.
    QTest::newRow("defaults, close button")
        << 0 << "00a1bbc344E5" << int(IDC_RULE_CLEAR) << false << false << "button" << 1 << "COM1";
    QTest::newRow("increase, Esc") << 1 << " 00:1a:2b:3c:4d:5e " << int(IDC_RULE_INCREASE) << true << true
                                   << "esc" << 2 << "COM10";
    QTest::newRow("decrease, window close")
        << 2 << "" << int(IDC_RULE_DECREASE) << false << true << "close" << 3 << "COM2";
}

void TestMainWindow::entriesSavedAtClosing() {
    QFETCH(int, portIndex);
    QFETCH(QString, mac);
    QFETCH(int, rule);
    QFETCH(bool, records);
    QFETCH(bool, dual);
    QFETCH(QString, closeBy);
    const auto config = MakeConfig();
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    PortBox(dialog)->setCurrentIndex(portIndex);
    Edit(dialog, IDC_MAC)->setText(mac);
    QTest::mouseClick(Button(dialog, rule), Qt::LeftButton);
    if (records)
        QTest::mouseClick(Button(dialog, IDC_SAVE_RECORDS), Qt::LeftButton);
    if (dual)
        QTest::mouseClick(Button(dialog, IDC_DOUBLE_NET), Qt::LeftButton);
    if (closeBy == QLatin1String("button"))
        QTest::mouseClick(Button(dialog, IDCANCEL), Qt::LeftButton);
    else if (closeBy == QLatin1String("esc"))
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else
        dialog.close();
    QVERIFY(!dialog.isVisible());

    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Brisvane"));
    QCOMPARE(store.value(QStringLiteral("SerialPort")).toString(), PortNames(dialog).at(portIndex));
    QCOMPARE(store.value(QStringLiteral("MacAddress")).toString(), mac); // as typed, not trimmed
    QTEST(store.value(QStringLiteral("MacAddressChangeMode")).toInt(), "mode");
    QCOMPARE(store.value(QStringLiteral("isSave")).toInt(), records ? 1 : 0);
    QCOMPARE(store.value(QStringLiteral("Ports")).toInt(), dual ? 1 : 0);

    // The next opening restores them.
    CBrisvaneDlg again(*config, g_SerialComm);
    QTEST(PortBox(again)->currentText(), "reopenedPort");
    QCOMPARE(Edit(again, IDC_MAC)->text(), mac);
    QVERIFY(Button(again, rule)->isChecked());
}

void TestMainWindow::portListFallbackAndSorting() {
    SetPortEnumerationForTests(QStringList());
    ForceComFallbackForTests(true);
    {
        const auto config = MakeConfig();
        CBrisvaneDlg dialog(*config, g_SerialComm);
        const QStringList names = PortNames(dialog);
        QCOMPARE(names.size(), 100);
        QCOMPARE(names.mid(0, 5), QStringList({"COM1", "COM10", "COM100", "COM11", "COM12"}));
        QCOMPARE(names.last(), QStringLiteral("COM99"));
        QCOMPARE(PortBox(dialog)->currentText(), QStringLiteral("COM1"));
    }
#ifndef Q_OS_WIN
    ForceComFallbackForTests(false);
    {
        const auto config = MakeConfig();
        CBrisvaneDlg dialog(*config, g_SerialComm);
        QCOMPARE(PortNames(dialog).size(), 30);
        QCOMPARE(PortNames(dialog).mid(0, 3), QStringList({"ttyACM0", "ttyACM1", "ttyACM2"}));
        QVERIFY(PortNames(dialog).contains(QStringLiteral("ttyUSB0")));
    }
#endif
    // What the system lists is sorted as a sorted combo box sorts: without regard to case.
    SetPortEnumerationForTests(QStringList{"com3", "COM1", "Com20", "COM2"});
    const auto config = MakeConfig();
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QCOMPARE(PortNames(dialog), QStringList({"COM1", "COM2", "Com20", "com3"}));
}

void TestMainWindow::extraPortFromCommandLine() {
    WriteStoredEntries({QStringLiteral("COM2"), {}, {}, {}, {}});
    const auto config = MakeConfig();
    CBrisvaneDlg::tagOptions options;
    options.strExtraPort = QStringLiteral("/dev/pts/7");
    {
        CBrisvaneDlg dialog(*config, g_SerialComm, options);
        QCOMPARE(PortNames(dialog), QStringList({"/dev/pts/7", "COM1", "COM10", "COM2"}));
        QCOMPARE(PortBox(dialog)->currentText(), QStringLiteral("/dev/pts/7"));
        QCOMPARE(dialog.Bridge().GetText(IDC_SERIAL_PORT), std::string("/dev/pts/7"));
        dialog.done(QDialog::Rejected);
    }
    options.strExtraPort = QStringLiteral("COM10");
    CBrisvaneDlg dialog(*config, g_SerialComm, options);
    QCOMPARE(PortNames(dialog), QStringList({"COM1", "COM10", "COM2"}));
    QCOMPARE(PortBox(dialog)->currentText(), QStringLiteral("COM10"));
}

void TestMainWindow::enterKey_data() {
    QTest::addColumn<QString>("extraInfo");
    QTest::addColumn<QString>("cfgName");
    QTest::addColumn<int>("from"); // 0: no control has the focus; -1: MAC had it, then was disabled
    QTest::addColumn<int>("to");   // 0: the burn button was pressed; -1: nothing happened

    QTest::newRow("MAC to ID") << ""
                               << "" << int(IDC_MAC) << int(IDC_ID_STRING);
    QTest::newRow("ID is last without items") << ""
                                              << "" << int(IDC_ID_STRING) << 0;
    QTest::newRow("ID moves on with items") << "0x10"
                                            << "sn" << int(IDC_ID_STRING) << int(IDC_SINGLE_NET);
    QTest::newRow("network ports to the rows") << "0x10"
                                               << "sn" << int(IDC_DOUBLE_NET) << int(IDC_EXTRA_STRING);
    QTest::newRow("offset row to key row") << "0x10"
                                           << "sn" << int(IDC_EXTRA_STRING) << int(IDC_KEY_STRING);
    QTest::newRow("last key row burns") << "0x10"
                                        << "sn" << int(IDC_KEY_STRING) << 0;
    QTest::newRow("last offset row burns") << "0x10|0x20"
                                           << "" << int(IDC_EXTRA_STRING + 1) << 0;
    // The count includes the fixed item: the last field would be a second key row that does not
    // exist, so Enter never burns.
    QTest::newRow("fixed then entered key item") << ""
                                                 << "hw:V1|sn" << int(IDC_KEY_STRING) << int(IDC_MAC);
    QTest::newRow("fixed offset item counts too") << "0x10|0x20:AB"
                                                  << "" << int(IDC_EXTRA_STRING) << int(IDC_MAC);
    QTest::newRow("a clicked radio button moves on") << ""
                                                     << "" << int(IDC_RULE_INCREASE) << int(IDC_SINGLE_NET);
    QTest::newRow("the burn button itself moves on") << ""
                                                     << "" << int(IDOK) << int(IDC_SINGLE_NET);
    // Enter starts a burn only from the last input field, never from the window itself.
    QTest::newRow("no control focused") << ""
                                        << "" << 0 << -1;
    QTest::newRow("focused control was disabled") << ""
                                                  << "" << -1 << -1;
}

void TestMainWindow::enterKey() {
    QFETCH(QString, extraInfo);
    QFETCH(QString, cfgName);
    QFETCH(int, from);
    QFETCH(int, to);
    const auto config = MakeConfig(extraInfo.toStdString(), cfgName.toStdString());
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    // A MAC the burn command refuses: a pressed burn button shows exactly that message.
    Edit(dialog, IDC_MAC)->setText(QStringLiteral("zz"));
    CDialogRecorder recorder;
    if (from > 0) {
        dialog.Control(from)->setFocus(Qt::MouseFocusReason);
        QCOMPARE(QApplication::focusWidget(), dialog.Control(from));
    } else {
        dialog.Control(IDC_MAC)->setFocus(Qt::MouseFocusReason);
        if (from == 0) {
            dialog.Control(IDC_MAC)->clearFocus();
        } else { // as a job leaves it: disabled at its start, enabled again at its end
            dialog.EnableControls({IDC_MAC}, false);
            dialog.EnableControls({IDC_MAC}, true);
        }
        QVERIFY(QApplication::focusWidget() == nullptr);
    }
    QWidget* target = from > 0 ? dialog.Control(from) : static_cast<QWidget*>(&dialog);
    QTest::keyClick(target, Qt::Key_Return);
    QTest::keyClick(target, Qt::Key_Enter);
    if (to == 0) {
        QCOMPARE(recorder.Texts(),
                 QStringList({"Error|Invalid machine address!", "Error|Invalid machine address!"}));
    } else if (to < 0) {
        QCOMPARE(recorder.Texts(), QStringList());
        QVERIFY(QApplication::focusWidget() == nullptr);
    } else {
        QCOMPARE(recorder.Texts(), QStringList());
        QCOMPARE(QApplication::focusWidget()->objectName(), dialog.Control(to)->objectName());
    }
    QVERIFY(dialog.isVisible());
}

void TestMainWindow::ruleButtonsSwitchNumberParts() {
    const auto config = MakeConfig("0x10|0x20:AB", "sn");
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    const QList<int> numbers = {IDC_ID_NUMBER, IDC_EXTRA_NUMBER, IDC_KEY_NUMBER};
    QVERIFY(dialog.Control(IDC_EXTRA_NUMBER + 1) == nullptr); // the fixed item has no row

    QTest::mouseClick(Button(dialog, IDC_RULE_INCREASE), Qt::LeftButton);
    QVERIFY(!Button(dialog, IDC_RULE_CLEAR)->isChecked());
    QVERIFY(dialog.Control(IDC_HEX_RULE)->isEnabled());
    for (int id : numbers) {
        QVERIFY(Edit(dialog, id)->isEnabled());
        QCOMPARE(Edit(dialog, id)->text(), QStringLiteral("<Number>")); // texts are not changed
        Edit(dialog, id)->setText(QStringLiteral("0099"));
    }

    QTest::mouseClick(Button(dialog, IDC_RULE_CLEAR), Qt::LeftButton);
    QVERIFY(!dialog.Control(IDC_HEX_RULE)->isEnabled());
    for (int id : numbers) {
        QVERIFY(!Edit(dialog, id)->isEnabled());
        QCOMPARE(Edit(dialog, id)->text(), QString());
    }
    QCOMPARE(Edit(dialog, IDC_EXTRA_STRING)->text(), QStringLiteral("<String>")); // string parts stay

    QTest::mouseClick(Button(dialog, IDC_RULE_DECREASE), Qt::LeftButton);
    QVERIFY(!Button(dialog, IDC_RULE_INCREASE)->isChecked());
    for (int id : numbers) {
        QVERIFY(Edit(dialog, id)->isEnabled());
        QCOMPARE(Edit(dialog, id)->text(), QString());
    }
}

void TestMainWindow::networkPortPair_data() {
    QTest::addColumn<QList<int>>("clicks");
    QTest::addColumn<bool>("dual");
    QTest::newRow("the checked one again") << QList<int>{IDC_SINGLE_NET} << false;
    QTest::newRow("double") << QList<int>{IDC_DOUBLE_NET} << true;
    QTest::newRow("double twice") << QList<int>{IDC_DOUBLE_NET, IDC_DOUBLE_NET} << true;
    QTest::newRow("double then single") << QList<int>{IDC_DOUBLE_NET, IDC_SINGLE_NET} << false;
}

void TestMainWindow::networkPortPair() {
    QFETCH(QList<int>, clicks);
    QFETCH(bool, dual);
    const auto config = MakeConfig();
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    for (int id : clicks)
        QTest::mouseClick(Button(dialog, id), Qt::LeftButton);
    QCOMPARE(Button(dialog, IDC_DOUBLE_NET)->isChecked(), dual);
    QCOMPARE(Button(dialog, IDC_SINGLE_NET)->isChecked(), !dual);
}

void TestMainWindow::placeholdersOnFocus_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("after");
    QTest::newRow("ID number placeholder") << int(IDC_ID_NUMBER) << "<Number>"
                                           << "";
    QTest::newRow("ID string, trimmed and any case") << int(IDC_ID_STRING) << " <string> "
                                                     << "";
    QTest::newRow("ID number with a value") << int(IDC_ID_NUMBER) << "0012"
                                            << "0012";
    QTest::newRow("item string placeholder") << int(IDC_KEY_STRING) << "<String>"
                                             << "";
    QTest::newRow("item number placeholder") << int(IDC_EXTRA_NUMBER) << "<Number>"
                                             << "";
    // The item rows compare exactly.
    QTest::newRow("item number in other case stays") << int(IDC_EXTRA_NUMBER) << "<number>"
                                                     << "<number>";
}

void TestMainWindow::placeholdersOnFocus() {
    QFETCH(int, id);
    QFETCH(QString, text);
    const auto config = MakeConfig("0x10", "sn");
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    QTest::mouseClick(Button(dialog, IDC_RULE_INCREASE), Qt::LeftButton);
    Edit(dialog, id)->setText(text);
    QTest::mouseClick(Edit(dialog, id), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), dialog.Control(id));
    QTEST(Edit(dialog, id)->text(), "after");
}

void TestMainWindow::burnRefusals_data() {
    QTest::addColumn<bool>("noPort");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QStringList>("offsetNumbers");
    QTest::addColumn<QString>("keyNumber");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");

    const QString mac = QStringLiteral("00:1a:2b:3c:4d:5e");
    const QStringList good = {"1", "2"};
    QTest::newRow("no port comes first") << true << "zz" << false << "" << good << ""
                                         << "message"
                                         << "Please select the serial port.";
    QTest::newRow("MAC before numbers") << false << "00:11" << false << "12a" << good << ""
                                        << "message"
                                        << "Invalid machine address!";
    QTest::newRow("ID decimal digit") << false << mac << false << "12a" << good << ""
                                      << "message"
                                      << "[Default ID] is invalid: Invalid ID(Invalid decimal value)!";
    QTest::newRow("ID 21 digits")
        << false << mac << false << "123456789012345678901" << good << ""
        << "message"
        << "[Default ID] is invalid: Invalid ID(Decimal length must be less than 21)!";
    QTest::newRow("ID hex prefix") << false << mac << true << "0x1F" << good << ""
                                   << "message"
                                   << "[Default ID] is invalid: Invalid ID(Invalid hex value)!";
    QTest::newRow("second offset row") << false << mac << false << "1" << QStringList{"1", "x"} << ""
                                       << "message"
                                       << "[Extra ID2] is invalid: Invalid ID(Invalid decimal value)!";
    QTest::newRow("key row by its name") << false << mac << true << "" << good << "1G"
                                         << "message"
                                         << "[Sn] is invalid: Invalid ID(Invalid hex value)!";
    QTest::newRow("out of range in the system box")
        << false << mac << false << "18446744073709551616" << good << ""
        << "system"
        << "The ID num is Out of range";
}

void TestMainWindow::burnRefusals() {
    QFETCH(bool, noPort);
    QFETCH(QString, mac);
    QFETCH(bool, hex);
    QFETCH(QString, id);
    QFETCH(QStringList, offsetNumbers);
    QFETCH(QString, keyNumber);
    const auto config = MakeConfig("0x10|0x20", "Sn");
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    QTest::mouseClick(Button(dialog, IDC_RULE_INCREASE), Qt::LeftButton);
    if (hex)
        QTest::mouseClick(Button(dialog, IDC_HEX_RULE), Qt::LeftButton);
    if (noPort)
        PortBox(dialog)->setCurrentIndex(-1);
    Edit(dialog, IDC_MAC)->setText(mac);
    Edit(dialog, IDC_ID_NUMBER)->setText(id);
    Edit(dialog, IDC_EXTRA_NUMBER)->setText(offsetNumbers[0]);
    Edit(dialog, IDC_EXTRA_NUMBER + 1)->setText(offsetNumbers[1]);
    Edit(dialog, IDC_KEY_NUMBER)->setText(keyNumber);
    g_strLog = "before";

    CDialogRecorder recorder;
    QTest::mouseClick(Button(dialog, IDOK), Qt::LeftButton);
    const auto dialogs = recorder.Dialogs();
    QCOMPARE(int(dialogs.size()), 1);
    QTEST(dialogs[0].kind, "kind");
    QCOMPARE(dialogs[0].caption, QStringLiteral("Error"));
    QTEST(dialogs[0].text, "text");
    // Nothing started, nothing changed, and the window stays open.
    QVERIFY(g_pBurnThread.load() == nullptr);
    QVERIFY(dialog.Runner().IsIdle());
    QCOMPARE(g_strLog, std::string("before"));
    QCOMPARE(Edit(dialog, IDC_ID_NUMBER)->text(), id);
    QVERIFY(dialog.isVisible());
}

void TestMainWindow::opensInConfiguredLanguage_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<bool>("chinese");
    QTest::newRow("1 is Chinese") << 1 << true;
    QTest::newRow("2 is English") << 2 << false;
    QTest::newRow("other values are English") << 0 << false;
}

void TestMainWindow::opensInConfiguredLanguage() {
    QFETCH(int, language);
    QFETCH(bool, chinese);
    const auto config = MakeConfig("0x100", "", language);
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QCOMPARE(dialog.ChineseAction()->isChecked(), chinese);
    QCOMPARE(dialog.EnglishAction()->isChecked(), !chinese);
    QCOMPARE(dialog.LanguageMenu()->title(), chinese ? QStringLiteral("语言") : QStringLiteral("Language"));
    QCOMPARE(Button(dialog, IDC_RULE_INCREASE)->text(),
             chinese ? QStringLiteral("递增") : QStringLiteral("Increase"));
    // The row labels were built while the Chinese table was current; the opening rewrote them.
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("IDC_EXTRA_LABEL0"))->text(),
             chinese ? QStringLiteral("额外ID1\n(偏移0x100)") : QStringLiteral("Extra ID1\n(Off. 0x100)"));
}

QStringList TestMainWindow::LanguageTexts(CBrisvaneDlg& dialog, int offsetLabelId) {
    QStringList texts;
    for (int id : {IDC_LABEL_PORT, IDC_SAMPLE1, IDC_SAMPLE2, IDC_HEX_RULE, IDC_LABEL_RULE, IDC_RULE_CLEAR,
                   IDC_RULE_INCREASE, IDC_RULE_DECREASE, IDC_SAVE_RECORDS, IDOK, IDCANCEL, IDC_SINGLE_NET,
                   IDC_DOUBLE_NET, offsetLabelId})
        texts << QString::fromStdString(tv::LocalToUtf8(dialog.Bridge().GetText(id)));
    texts << dialog.LanguageMenu()->title() << dialog.ChineseAction()->text()
          << dialog.EnglishAction()->text();
    if (dialog.AboutAction())
        texts << dialog.AboutAction()->text();
    return texts;
}

void TestMainWindow::languageSwitchBackAndForth() {
    // The first offset item is fixed: the operator's row is numbered 1.
    const auto config = MakeConfig("0x40:AB|0x100", "sn", 1);
    CBrisvaneDlg dialog(*config, g_SerialComm);
    dialog.OnBurnStatus(StatusKind::Append, tv::Utf8ToLocal("earlier line"));
    auto unchanged = [&] {
        return QStringList{dialog.windowTitle(),
                           dialog.findChild<QLabel*>(QStringLiteral("IDC_LABEL_MAC"))->text(),
                           dialog.findChild<QLabel*>(QStringLiteral("IDC_LABEL_ID"))->text(),
                           dialog.findChild<QLabel*>(QStringLiteral("IDC_PLUS"))->text(),
                           dialog.findChild<QLabel*>(QStringLiteral("IDC_KEY_LABEL0"))->text(),
                           Edit(dialog, IDC_ID_STRING)->text(),
                           Edit(dialog, IDC_KEY_NUMBER)->text(),
                           ShownLog(dialog)};
    };
    const QStringList fixedTexts = unchanged();
    const QStringList chinese = LanguageTexts(dialog, IDC_EXTRA_LABEL);
    QCOMPARE(chinese.at(13), QStringLiteral("额外ID1\r\n(偏移0x100)"));

    dialog.EnglishAction()->trigger();
    QVERIFY(g_pText.load() == &g_TextEnglish);
    QVERIFY(dialog.EnglishAction()->isChecked() && !dialog.ChineseAction()->isChecked());
    const QStringList english = LanguageTexts(dialog, IDC_EXTRA_LABEL);
    QCOMPARE(english.at(9), QStringLiteral("OK"));
    QCOMPARE(english.at(13), QStringLiteral("Extra ID1\r\n(Off. 0x100)"));
    QCOMPARE(english.at(14), QStringLiteral("Language"));
    for (int i = 0; i < english.size(); ++i)
        QVERIFY2(english.at(i) != chinese.at(i), qPrintable(english.at(i)));
    QCOMPARE(unchanged(), fixedTexts);

    // The current language again changes nothing and keeps the check mark.
    dialog.EnglishAction()->trigger();
    QCOMPARE(LanguageTexts(dialog, IDC_EXTRA_LABEL), english);
    QVERIFY(dialog.EnglishAction()->isChecked() && !dialog.ChineseAction()->isChecked());

    dialog.ChineseAction()->trigger();
    QCOMPARE(LanguageTexts(dialog, IDC_EXTRA_LABEL), chinese);
    QVERIFY(dialog.ChineseAction()->isChecked() && !dialog.EnglishAction()->isChecked());
    QCOMPARE(unchanged(), fixedTexts);
}

void TestMainWindow::aboutBox() {
    const auto config = MakeConfig("", "", 2);
    CBrisvaneDlg dialog(*config, g_SerialComm);
    QVERIFY(ShowAndActivate(dialog));
    CDialogRecorder recorder;
#ifdef Q_OS_WIN
    dialog.OnAbout();
#else
    QVERIFY(dialog.AboutAction());
    QCOMPARE(dialog.AboutAction()->text(), QStringLiteral("About Telvanor(A)..."));
    dialog.AboutAction()->trigger();
#endif
    const QRegularExpression date(
        QStringLiteral("^Update: [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}, [0-9]{2}:[0-9]{2}:[0-9]{2}$"));
    QCOMPARE(int(recorder.Dialogs().size()), 1);
    QCOMPARE(recorder.Dialogs()[0].kind, QStringLiteral("about"));
    QCOMPARE(recorder.Dialogs()[0].caption, QStringLiteral("About Telvanor"));
    QVERIFY2(date.match(recorder.Dialogs()[0].text).hasMatch(), qPrintable(recorder.Dialogs()[0].text));

    dialog.SwitchLanguage(true);
    CAboutDlg about(&dialog);
    QCOMPARE(about.windowTitle(), QStringLiteral("关于 Telvanor"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("IDC_VERSION"))->text(),
             QStringLiteral("Telvanor, 3.3 版"));
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("IDC_NOTICE"))->text(), TextOf(strAboutNotice));
    QCOMPARE(about.findChild<QPushButton*>(QStringLiteral("IDOK"))->text(), QStringLiteral("确定"));
    const QString update = about.findChild<QLabel*>(QStringLiteral("IDC_UPDATE"))->text();
    QVERIFY2(update.startsWith(QStringLiteral("更新日期： ")), qPrintable(update));
    QCOMPARE(update.mid(6), recorder.Dialogs()[0].text.mid(8)); // the same build date and time
    // The box is opened in a language and keeps it.
    dialog.SwitchLanguage(false);
    QCOMPARE(about.windowTitle(), QStringLiteral("关于 Telvanor"));
}

TELVANOR_UI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

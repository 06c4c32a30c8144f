// The window burning from a lot ([Pool] in BurnConfig.ini): the MAC, ID and rule controls stay
// off, the job shows its unit and how many are left, and closing during the chain gives the
// waiting job's unit back.
#include "UiTestSupport.h"

#include "BoardProcess.h"
#include "BurnJob.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "LogView.h"
#include "PortList.h"
#include "SerialComm.h"
#include "TestPool.h"

#include <QElapsedTimer>

#include <fstream>

class TestLotWindow : public QObject {
    Q_OBJECT
private slots:
    void init() {
        ClearStoredEntries();
        SetPortEnumerationForTests(QStringList{QStringLiteral("COM1")});
        g_strLog.clear();
    }
    void cleanup() { SetPortEnumerationForTests(std::nullopt); }
    void chainFromALot();
};

void TestLotWindow::chainFromALot() {
    CTestPool store("sqlite");
    {
        std::unique_ptr<IIdentityPool> pool = store.Open();
        QVERIFY(pool);
        QVERIFY(pool->CreateLot(TestLot("W1", "02:00:00:00:01:00", "02:00:00:00:01:ff", "SN", "0001", "0256"))
                    .Ok());
    }
    CBoardProcess board(
        {"--flash", "nand", "--bootargs", "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)"});
    CTempDir dir;
    std::ofstream(dir.File("BurnConfig.ini"), std::ios::binary)
        << "[BurnConfig]\r\n[Pool]\r\nPool=" << store.Url() << "\r\nLot=W1\r\n";
    BurnConfig config;
    config.m_strModuleDir = dir.Path();
    LoadBurnConfig(config);
    ParseItemLists(config);
    QCOMPARE(config.m_strLot, std::string("W1"));
    CBrisvaneDlg::tagOptions options;
    options.strExtraPort = QString::fromStdString(board.PortPath());
    auto dialog = std::make_unique<CBrisvaneDlg>(config, g_SerialComm, options);
    QVERIFY(ShowAndActivate(*dialog));
    for (int id : {IDC_MAC, IDC_ID_STRING, IDC_ID_NUMBER, IDC_RULE_CLEAR, IDC_RULE_INCREASE,
                   IDC_RULE_DECREASE, IDC_SINGLE_NET, IDC_DOUBLE_NET, IDC_HEX_RULE})
        QVERIFY2(!dialog->Control(id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(Button(*dialog, IDOK)->isEnabled());

    // A message box would be a failed job; answered and recorded, it fails the test instead of waiting.
    CDialogRecorder recorder;
    // One board only: the board freezes when the next job shows its unit. That job waits in the
    // window's call at that moment and has not sent a byte, so it waits for a board that never
    // comes until the window is closed.
    connect(Edit(*dialog, IDC_MAC), &QLineEdit::textChanged, this, [&board](const QString& text) {
        if (text == QStringLiteral("02:00:00:00:01:01"))
            board.Freeze(true);
    });
    QTest::mouseClick(Button(*dialog, IDOK), Qt::LeftButton);
    // The first board is burnt with unit 0; the next job shows unit 1 (MAC, then ID, then the log
    // line) while it waits.
    QTRY_VERIFY_WITH_TIMEOUT(g_strLog.find("Unit 1 of lot 'W1' reserved: MAC 02:00:00:00:01:01, ID SN0002. "
                                           "254 unit(s) left.") != std::string::npos,
                             60000);
    QCOMPARE(Edit(*dialog, IDC_MAC)->text(), QStringLiteral("02:00:00:00:01:01"));
    QCOMPARE(Edit(*dialog, IDC_ID_NUMBER)->text(), QStringLiteral("0002"));
    QVERIFY(g_pBurnThread.load() != nullptr);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    dialog.reset(); // ends the run: the waiting job's unit goes back, the pool closes
    QCOMPARE(recorder.Texts(), QStringList());
    board.Stop();
    const std::vector<std::uint8_t> flash = board.Flash();
    QVERIFY(flash.size() >= 0x100000 + 24);
    QCOMPARE(std::string(flash.begin() + 0x100000, flash.begin() + 0x100000 + 24),
             std::string("02:00:00:00:01:00\0SN0001", 24));

    std::unique_ptr<IIdentityPool> pool = store.Open();
    std::vector<LotStatus> status;
    QVERIFY(pool && pool->Status("W1", status).Ok());
    QCOMPARE(status.at(0).burnt, std::uint64_t(1));
    QCOMPARE(status.at(0).reserved + status.at(0).uncertain, std::uint64_t(0));
    QCOMPARE(status.at(0).next->index, std::uint64_t(1));
}

TELVANOR_UI_TEST_MAIN(TestLotWindow)
#include "tst_lot.moc"

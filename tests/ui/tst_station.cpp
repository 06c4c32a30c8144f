// The station window against virtual boards and a lot in a SQLite pool: rows, counts, a row's log
// on Enter while the ports run, Stop per row and for all, both languages, the keyboard alone.
#include "BoardProcess.h"
#include "ControlIds.h"
#include "ExtraItems.h"
#include "IdentityPool.h"
#include "StationWindow.h"
#include "TextTables.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <fstream>
#include <memory>

namespace {

const char kNandArgs[] = "mtdparts=nand0:1M(boot),1M(deviceinfo),-(rootfs)";

} // namespace

class TestStation : public QObject {
    Q_OBJECT

private:
    CTempDir m_dir;
    BurnConfig m_config;
    std::string m_url;

    void MakeLot(const std::string& name, const char* macFirst, const char* macLast, const char* idString) {
        PoolResult r;
        std::unique_ptr<IIdentityPool> pool = OpenIdentityPool(m_url, m_dir.Path(), true, r);
        QVERIFY2(pool, r.message.c_str());
        PoolLot lot;
        lot.name = name;
        lot.macFirst = ParseMacValue(macFirst).value();
        lot.macLast = ParseMacValue(macLast).value();
        lot.idString = idString;
        lot.idFirst = "0001";
        lot.idLast = "9999";
        r = pool->CreateLot(lot);
        QVERIFY2(r.Ok(), r.message.c_str());
    }

    CStationWindow::tagSetup Setup(const std::vector<std::string>& ports, const std::string& lot,
                                   long boards) {
        CStationWindow::tagSetup setup = StationSetupFromPool(m_url, m_dir.Path());
        setup.ports = ports;
        setup.lot = lot;
        setup.boards = boards;
        setup.records = true;
        return setup;
    }

    static bool WaitFinished(CStationWindow& w, int ms) {
        return QTest::qWaitFor([&] { return w.Station() && w.Station()->Finished(); }, ms);
    }

private slots:
    void initTestCase() {
        std::ofstream(m_dir.File("BurnConfig.ini"), std::ios::binary) << "[BurnConfig]\r\n";
        m_config.m_strModuleDir = m_dir.Path();
        LoadBurnConfig(m_config);
        ParseItemLists(m_config);
        m_url = "sqlite:" + m_dir.File("pool.db");
        ChooseStartLanguage(2);
    }

    // Two ports burn six boards between them with the keyboard alone; the rows and the lot's counts
    // show it; a row's log opens on Enter while the ports run and holds the whole log of that port.
    void BurnsWithTheKeyboardAlone() {
        MakeLot("K1", "00:1a:2b:00:00:00", "00:1a:2b:00:00:13", "SN");
        CBoardProcess a({"--bootargs", kNandArgs, "--swap-boards"});
        CBoardProcess b({"--bootargs", kNandArgs, "--swap-boards"});
        CStationWindow w(m_config, Setup({a.PortPath(), b.PortPath()}, "K1", 6));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.Table()->rowCount(), 2);
        QVERIFY(w.LotLabel()->text().contains(QStringLiteral("20 free")));

        // Tab from the table to "Start all", then Space.
        w.Table()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        auto* startAll = qobject_cast<QPushButton*>(QApplication::focusWidget());
        QVERIFY(startAll);
        QCOMPARE(startAll->text(), QStringLiteral("Start all"));
        QTest::keyClick(startAll, Qt::Key_Space);
        QVERIFY(QTest::qWaitFor([&] { return w.Station() && w.Station()->GoodBoards() >= 1; }, 60000));

        // The second row's log on Enter: not modal, the ports go on.
        w.Table()->setFocus();
        w.Table()->selectRow(1);
        QTest::keyClick(w.Table(), Qt::Key_Return);
        QDialog* log = w.LogWindow(1);
        QVERIFY(log && log->isVisible());
        QVERIFY(!log->isModal());
        QVERIFY(WaitFinished(w, 120000));
        QTest::qWait(300); // a refresh after the end

        QCOMPARE(w.Station()->GoodBoards(), 6);
        int good = 0;
        for (int r = 0; r < 2; ++r) {
            good += w.Table()->item(r, 4)->text().toInt();
            QCOMPARE(w.Table()->item(r, 5)->text(), QStringLiteral("0"));
        }
        QCOMPARE(good, 6);
        QVERIFY(w.LotLabel()->text().contains(QStringLiteral("14 free, 6 burnt, 0 uncertain")));
        const QString text = log->findChild<QPlainTextEdit*>()->toPlainText();
        QStringList expected;
        for (const std::string& line : w.Station()->Lines(1))
            expected << QString::fromStdString(line);
        // The board's console lines keep their CR LF inside a line; the text box shows them as breaks.
        QCOMPARE(text,
                 expected.join(QLatin1Char('\n')).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        QVERIFY(text.contains(QStringLiteral("Burn successfully!")));
    }

    // Stop on one row ends that port only; Stop all ends the rest; nothing stays reserved.
    void StopPerRowAndForAll() {
        MakeLot("S1", "00:1a:2c:00:00:00", "00:1a:2c:00:00:63", "SS");
        CBoardProcess a({"--bootargs", kNandArgs, "--swap-boards", "--delay-ms", "5"});
        CBoardProcess b({"--bootargs", kNandArgs, "--swap-boards", "--delay-ms", "5"});
        CStationWindow w(m_config, Setup({a.PortPath(), b.PortPath()}, "S1", 0));
        w.show();
        w.StartAll();
        QVERIFY(QTest::qWaitFor([&] { return w.Station()->GoodBoards() >= 2; }, 60000));
        w.Table()->selectRow(0);
        w.findChildren<QPushButton*>()[3]->click(); // the row's Stop
        QVERIFY(QTest::qWaitFor([&] { return !w.Station()->View(0).running; }, 10000));
        const int goodOnA = w.Station()->View(0).good;
        QVERIFY(QTest::qWaitFor([&] { return w.Station()->View(1).good >= 2; }, 60000));
        QCOMPARE(w.Station()->View(0).good, goodOnA);
        w.StopAll();
        QVERIFY(WaitFinished(w, 20000));

        PoolResult r;
        std::unique_ptr<IIdentityPool> pool = OpenIdentityPool(m_url, m_dir.Path(), false, r);
        std::vector<LotStatus> status;
        QVERIFY(pool->Status("S1", status).Ok());
        QCOMPARE(status[0].reserved, 0ull);
        QCOMPARE(status[0].burnt, std::uint64_t(w.Station()->GoodBoards()));
    }

    // The items typed into the station's fields are what every board gets; a refused entry shows
    // why under the rows and starts nothing.
    void TypedItemsReachTheFlash() {
        MakeLot("T1", "00:1a:2d:00:00:00", "00:1a:2d:00:00:0f", "TT");
        BurnConfig config;
        config.m_strModuleDir = m_dir.Path();
        config.m_strExtraInfoText = "0x800";
        config.m_strCfgNameText = "sn|hwver:A1";
        ParseItemLists(config);
        CBoardProcess a({"--bootargs", kNandArgs});
        CStationWindow w(config, Setup({a.PortPath()}, "T1", 1));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QLineEdit* offsetText = w.ItemEdit(IDC_EXTRA_STRING);
        QLineEdit* keyText = w.ItemEdit(IDC_KEY_STRING);
        QLineEdit* keyNumber = w.ItemEdit(IDC_KEY_NUMBER);
        QVERIFY(offsetText && keyText && keyNumber);
        QTest::keyClicks(offsetText, QStringLiteral("AB7"));
        QTest::keyClicks(keyText, QStringLiteral("K7"));
        QTest::keyClicks(keyNumber, QStringLiteral("00x2"));

        w.StartAll();
        QVERIFY(!w.Station());
        QVERIFY(w.NoticeLabel()->isVisibleTo(&w));
        QCOMPARE(w.NoticeLabel()->text(), QString::fromStdString("Error: [sn] " + Txt(strIdDecimalInvalid)));

        keyNumber->clear();
        QTest::keyClicks(keyNumber, QStringLiteral("0042"));
        w.StartAll();
        QVERIFY(w.Station());
        QVERIFY(!w.NoticeLabel()->isVisibleTo(&w));
        QVERIFY(!keyText->isEnabled()); // what the running ports burn stays as it is
        QVERIFY(WaitFinished(w, 60000));
        QCOMPARE(w.Station()->GoodBoards(), 1);
        QTest::qWait(300); // a refresh after the end
        QVERIFY(keyText->isEnabled());

        a.Stop();
        const std::vector<std::uint8_t> flash = a.Flash();
        QVERIFY(flash.size() >= 0x100900);
        const std::string block(flash.begin() + 0x100000, flash.begin() + 0x100100);
        QCOMPARE(block.substr(0, 25), std::string("00:1a:2d:00:00:00\0TT0001\0", 25));
        QVERIFY(block.find(std::string("SN=K70042\0HWVER=A1\0", 19)) != std::string::npos);
        QCOMPARE(std::string(flash.begin() + 0x100800, flash.begin() + 0x100804), std::string("AB7\0", 4));
    }

    void ChineseTexts() {
        ChooseStartLanguage(1);
        CStationWindow w(m_config, Setup({"ttyA", "ttyB"}, "K1", 0));
        QCOMPARE(w.windowTitle(), QString::fromUtf8("Telvanor 工位"));
        QCOMPARE(w.Table()->horizontalHeaderItem(1)->text(), QString::fromUtf8("状态"));
        QCOMPARE(w.Table()->item(0, 1)->text(), QString::fromUtf8("空闲"));
        ChooseStartLanguage(2);
        w.ApplyLanguage();
        QCOMPARE(w.Table()->horizontalHeaderItem(1)->text(), QStringLiteral("State"));
    }
};

QTEST_MAIN(TestStation)
#include "tst_station.moc"

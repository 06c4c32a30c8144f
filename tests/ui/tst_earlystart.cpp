// Work started ahead of the window on a thread of its own: the port scan's result fills the first
// port list only, a window that opens while the scan still runs waits for it (and then applies the
// saved port to it) but not beyond its patience, and a result nobody took is dropped with the work.
#include "UiTestSupport.h"

#include "EarlyStart.h"
#include "PortList.h"
#include "SerialComm.h"

#include <chrono>
#include <future>
#include <thread>

class TestEarlyStart : public QObject {
    Q_OBJECT

private slots:
    void init();
    void scanFillsTheFirstListOnly();
    void windowWaitsForARunningScan();
    void windowDoesNotWaitForAStarvedScan();
    void untakenScanIsDropped();
};

void TestEarlyStart::init() {
    ClearStoredEntries();
    SetPortEnumerationForTests(std::nullopt);
}

void TestEarlyStart::scanFillsTheFirstListOnly() {
    CEarlyStart early([] { return QStringList{QStringLiteral("ttyEARLY0")}; });
    early.WaitForFonts();
    QCOMPARE(EnumeratePorts(), QStringList{QStringLiteral("ttyEARLY0")});
    // Later lists are the system's own, scanned when asked for.
    QVERIFY(!EnumeratePorts().contains(QStringLiteral("ttyEARLY0")));
}

void TestEarlyStart::windowWaitsForARunningScan() {
    tagStoredEntries stored;
    stored.serialPort = QStringLiteral("ttyusb");
    WriteStoredEntries(stored);

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    CEarlyStart early(
        [released] {
            released.wait();
            return QStringList{QStringLiteral("ttyUSB7"), QStringLiteral("ttyACM0")};
        },
        std::chrono::minutes(10));
    std::thread releaser([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release.set_value();
    });
    early.WaitForFonts();
    const auto config = MakeConfig();
    CBrisvaneDlg dialog(*config, g_SerialComm);
    releaser.join();
    QCOMPARE(PortNames(dialog), QStringList({"ttyACM0", "ttyUSB7"}));
    QCOMPARE(PortBox(dialog)->currentText(), QStringLiteral("ttyUSB7"));
}

// The scan runs at idle priority, which a busy machine can hold off for seconds: the window then
// scans itself. The stuck scan is released only once the window is built, so a window that waited
// for it would never be.
void TestEarlyStart::windowDoesNotWaitForAStarvedScan() {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    CEarlyStart early(
        [released] {
            released.wait();
            return QStringList{QStringLiteral("ttySTUCK0")};
        },
        std::chrono::milliseconds(20));
    early.WaitForFonts();
    const auto config = MakeConfig();
    {
        CBrisvaneDlg dialog(*config, g_SerialComm);
        release.set_value();
        QVERIFY(!PortNames(dialog).contains(QStringLiteral("ttySTUCK0")));
        QVERIFY(PortBox(dialog)->count() > 0);
    }
    // The late result is not handed to a later list either.
    QVERIFY(!EnumeratePorts().contains(QStringLiteral("ttySTUCK0")));
}

void TestEarlyStart::untakenScanIsDropped() {
    {
        CEarlyStart early([] { return QStringList{QStringLiteral("ttyEARLY1")}; });
    }
    QVERIFY(!EnumeratePorts().contains(QStringLiteral("ttyEARLY1")));
}

TELVANOR_UI_TEST_MAIN(TestEarlyStart)
#include "tst_earlystart.moc"

// HistoryDownload on its own, against the simulator: every run ends in one finished(), and a
// cancel at each stage leaves no history behind.

#include "device/device.h"
#include "history/historydownload.h"
#include "tests/common/devsimprocess.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestHistoryDownload : public QObject
{
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestHistoryDownload::run_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<int>("cancelAt"); // a HistoryDownload::State, -1 for none
    QTest::addColumn<int>("error");
    const QStringList stats { "--stat-blocks", "4", "--stat-values", "2000" };
    QTest::newRow("whole run") << stats << -1 << int(HistoryDownload::Error::None);
    QTest::newRow("canceled while listing") << stats << int(HistoryDownload::State::Listing)
                                            << int(HistoryDownload::Error::Canceled);
    QTest::newRow("canceled while reading the values") << stats << int(HistoryDownload::State::ReadingValues)
                                                       << int(HistoryDownload::Error::Canceled);
    QTest::newRow("canceled while converting") << stats << int(HistoryDownload::State::Converting)
                                               << int(HistoryDownload::Error::Canceled);
    QTest::newRow("no statistics") << QStringList { "--no-files" } << -1 << int(HistoryDownload::Error::Missing);
    QTest::newRow("silent device") << QStringList { "--silent" } << -1 << int(HistoryDownload::Error::Identity);
    // Identity, calibration, list, time index: the link breaks on the values.
    QTest::newRow("link lost on the values") << QStringList { "--abort-after", "5" } << -1
                                             << int(HistoryDownload::Error::NoDevice);
}

void TestHistoryDownload::run()
{
    QFETCH(QStringList, simArguments);
    QFETCH(int, cancelAt);
    QFETCH(int, error);
    DevSimProcess sim;
    QVERIFY(sim.start(simArguments));
    Device device(sim.path());
    QTemporaryDir histories;
    HistoryDownload download(&device);
    download.setOutputDirectory(histories.path());
    connect(&download, &HistoryDownload::stateChanged, this, [&](HistoryDownload::State state) {
        if (int(state) == cancelAt)
            download.cancel();
    });
    QSignalSpy finished(&download, &HistoryDownload::finished);
    QVERIFY(download.start());
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(int(download.error()), error);
    QVERIFY(!download.isRunning());
    const QStringList written = QDir(histories.path()).entryList({ QStringLiteral("*.hist") }, QDir::Files);
    QCOMPARE(written.size(), error == int(HistoryDownload::Error::None) ? 1 : 0);
    if (error == int(HistoryDownload::Error::None)) {
        QCOMPARE(QFileInfo(download.databasePath()).fileName(), written.value(0));
        QVERIFY(download.rowCount() > 0);
        // The raw files stay beside the history, whole, in a folder of this download's own.
        const QDir raw(download.rawFolder());
        QCOMPARE(QFileInfo(raw.absolutePath()).absolutePath(), QDir(histories.path()).absolutePath());
        QVERIFY2(raw.dirName().endsWith(QLatin1String("Z_SN-000123")), qPrintable(raw.dirName()));
        QCOMPARE(raw.entryList(QDir::Files), QStringList({ "MEASTIME.DAT", "MEASURE.DAT" }));
        const HistoryDownload::Verification verification = download.verification();
        QVERIFY2(verification.verified, qPrintable(verification.reason));
        QCOMPARE(QFileInfo(raw.filePath("MEASURE.DAT")).size(), qint64(verification.valueFile.size()));
    } else {
        QVERIFY(!download.errorString().isEmpty());
        QVERIFY(!download.verification().verified);
    }
    QVERIFY(!download.start()); // one run per object
}

QTEST_GUILESS_MAIN(TestHistoryDownload)
#include "tst_historydownload.moc"

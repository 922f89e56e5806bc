#include "link/serialport.h"
#include "tests/link/ptypair.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>

class tst_SerialPort : public QObject
{
    Q_OBJECT

private slots:
    void openFailure_data();
    void openFailure();
    void secondOpenIsRefused();
    void readsWhatArrives_data();
    void readsWhatArrives();
    void stopsListening();
    void writesReachTheOtherEnd();
    void writeOnClosedPortFails();
};

void tst_SerialPort::openFailure_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");

    QTest::newRow("missing") << QStringLiteral("/nonexistent/ttyACM9") << ENOENT;
    QTest::newRow("folder") << QDir::tempPath() << EISDIR;
}

void tst_SerialPort::openFailure()
{
    QFETCH(QString, path);
    QFETCH(int, error);
    SerialPort port(path, 1200, 1200);
    try {
        port.Open();
        QFAIL("opened");
    } catch (const SerialPortException &e) {
        QCOMPARE(e.error(), error);
        QCOMPARE(e.text(), QStringLiteral("Failed with error %1: %2").arg(error).arg(QString::fromLocal8Bit(std::strerror(error))));
        QCOMPARE(QString::fromUtf8(e.what()), e.text());
    }
    QVERIFY(!port.IsOpen());
}

void tst_SerialPort::secondOpenIsRefused()
{
    PtyPair pty;
    SerialPort first(pty.slavePath(), 1200, 1200);
    first.Open();
    QVERIFY(first.IsOpen());
    SerialPort second(pty.slavePath(), 1200, 1200);
    try {
        second.Open();
        QFAIL("a port already open elsewhere was opened again");
    } catch (const SerialPortException &e) {
        QCOMPARE(e.error(), EBUSY);
    }
    first.Close();
    second.Open(); // free again once the first one let go
    QVERIFY(second.IsOpen());
}

void tst_SerialPort::readsWhatArrives_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("readSize");

    QTest::newRow("1 byte") << 1 << 16;
    QTest::newRow("asks for more than is there") << 100 << 4096;
    QTest::newRow("in pieces") << 5000 << 700;
    QTest::newRow("64 KiB") << 65536 << 65536;
}

void tst_SerialPort::readsWhatArrives()
{
    QFETCH(int, size);
    QFETCH(int, readSize);
    PtyPair pty;
    SerialPort port(pty.slavePath(), 1200, 1200);
    port.Open();
    QSignalSpy received(&port, &SerialPort::DataReceived);
    port.SetListening(true);
    QByteArray sent(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        sent[i] = char(i * 7 + 3);
    QVERIFY(pty.write(sent));

    QByteArray got;
    bool oversized = false;
    const auto drain = [&] {
        QByteArray chunk;
        while (port.Read(chunk, uint(readSize)) > 0) {
            oversized = oversized || chunk.size() > readSize;
            got.append(chunk);
            chunk.clear();
        }
        return got.size() >= size;
    };
    QTRY_VERIFY_WITH_TIMEOUT(drain(), 5000);
    QVERIFY2(!oversized, "Read returned more than asked for");
    QCOMPARE(got, sent);
    for (const QList<QVariant> &args : qAsConst(received))
        QVERIFY2(args.first().toLongLong() > 0, "DataReceived(0) emitted");
    QByteArray none;
    QCOMPARE(port.Read(none, 10), 0);
    port.SetListening(false);
}

void tst_SerialPort::stopsListening()
{
    PtyPair pty;
    SerialPort port(pty.slavePath(), 1200, 1200);
    port.Open();
    port.SetListening(true);
    QVERIFY(port.isRunning());
    // The reader checks its stop flag between polls; one that missed it would keep SetListening
    // waiting, which the test's time limit reports.
    port.SetListening(false);
    QVERIFY(!port.isRunning());
    port.Close();
    QVERIFY(!port.IsOpen());
}

void tst_SerialPort::writesReachTheOtherEnd()
{
    PtyPair pty;
    SerialPort port(pty.slavePath(), 1200, 1200);
    port.Open();
    const QByteArray data = "\xc0\x01\x02\xdb\xdd\xc0";
    QCOMPARE(port.Write(data), data.size());
    QTRY_COMPARE(pty.raw, data);
}

void tst_SerialPort::writeOnClosedPortFails()
{
    SerialPort port(QStringLiteral("/nonexistent"), 1200, 1200);
    QVERIFY(port.Write("abc") <= 0);
    QByteArray out;
    QVERIFY(port.Read(out, 10) <= 0);
    QVERIFY(out.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SerialPort)
#include "tst_serialport.moc"

#include "update/versioncompare.h"

#include <QtTest>

class TestVersionCompare : public QObject
{
    Q_OBJECT
private slots:
    void compare_data();
    void compare();
    void newest_data();
    void newest();
};

void TestVersionCompare::compare_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("older"); // a older than b
    QTest::addColumn<bool>("equal");

    QTest::newRow("minor smaller") << "1.8"
                                   << "1.9" << true << false;
    QTest::newRow("minor larger") << "1.9"
                                  << "1.8" << false << false;
    QTest::newRow("numbers not text") << "1.9"
                                      << "1.10" << true << false;
    QTest::newRow("major decides") << "2.0"
                                   << "1.99" << false << false;
    QTest::newRow("same") << "1.9"
                          << "1.9" << false << true;
    QTest::newRow("leading zero") << "1.09"
                                  << "1.9" << false << true;
    QTest::newRow("three against two") << "1.9"
                                       << "1.10.0" << false << false;
    QTest::newRow("two against three") << "1.10.0"
                                       << "1.9" << false << false;
    QTest::newRow("empty parts dropped") << "1..9"
                                         << "1.10" << true << false;
    QTest::newRow("trailing dot") << "1.9."
                                  << "1.9" << false << true;
    QTest::newRow("four parts") << "2.0.2.3"
                                << "2.0.10.0" << true << false;
    QTest::newRow("empty") << ""
                           << "1.0" << false << false;
    QTest::newRow("both empty") << ""
                                << "" << false << false;
    QTest::newRow("only dots") << "..."
                               << "..." << false << false;
    QTest::newRow("letters") << "1.9b"
                             << "1.10" << false << false;
    QTest::newRow("negative") << "1.-1"
                              << "1.0" << false << false;
    QTest::newRow("beyond 64 bits") << "1.99999999999999999999999"
                                    << "1.2" << false << false;
    QTest::newRow("large") << "1.4294967296"
                           << "1.4294967297" << true << false;
}

void TestVersionCompare::compare()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, older);
    QFETCH(bool, equal);
    QCOMPARE(varno::isVersionOlder(a, b), older);
    QCOMPARE(varno::isVersionEqual(a, b), equal);
    QCOMPARE(varno::isVersionEqual(b, a), equal);
    // Never both ways round.
    QVERIFY(!(varno::isVersionOlder(a, b) && varno::isVersionOlder(b, a)));
}

void TestVersionCompare::newest_data()
{
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<QString>("newest");
    QTest::newRow("empty") << QStringList() << QString();
    QTest::newRow("one") << QStringList { "1.0" } << "1.0";
    QTest::newRow("numeric order") << QStringList { "1.9", "1.10", "1.2" } << "1.10";
    QTest::newRow("first of unordered wins") << QStringList { "1.9", "1.9.1" } << "1.9";
    QTest::newRow("unreadable skipped") << QStringList { "beta", "0.5" } << "0.5";
    QTest::newRow("only unreadable") << QStringList { "beta", "rc" } << "beta";
}

void TestVersionCompare::newest()
{
    QFETCH(QStringList, versions);
    QFETCH(QString, newest);
    QCOMPARE(varno::newestVersion(versions), newest);
}

QTEST_APPLESS_MAIN(TestVersionCompare)
#include "tst_versioncompare.moc"

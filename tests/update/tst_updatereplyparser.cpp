#include "update/updatereplyparser.h"

#include <QtTest>

class TestUpdateReplyParser : public QObject
{
    Q_OBJECT
private slots:
    void servers_data();
    void servers();
    void releases_data();
    void releases();
    void details_data();
    void details();
    void safeFileName_data();
    void safeFileName();
};

void TestUpdateReplyParser::servers_data()
{
    QTest::addColumn<QUrl>("listUrl");
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("servers");

    const QUrl http("http://list.example/servers.xml");
    const QUrl https("https://list.example/servers.xml");
    QTest::newRow("two") << http
                         << QByteArray("<servers><server url=\"http://a.example\"/>"
                                       "<server url=\"https://b.example/v2\"/></servers>")
                         << true << QStringList { "http://a.example", "https://b.example/v2" };
    QTest::newRow("empty list") << http << QByteArray("<?xml version=\"1.0\"?><servers/>") << true
                                << QStringList();
    QTest::newRow("relative resolves")
        << http << QByteArray("<servers><server url=\"/mirror\"/></servers>") << true
        << QStringList { "http://list.example/mirror" };
    QTest::newRow("duplicates once") << http
                                     << QByteArray("<servers><server url=\"http://a.example\"/>"
                                                   "<server url=\"http://a.example\"/></servers>")
                                     << true << QStringList { "http://a.example" };
    QTest::newRow("https list refuses http mirror")
        << https
        << QByteArray("<servers><server url=\"http://a.example\"/>"
                      "<server url=\"https://b.example\"/></servers>")
        << true << QStringList { "https://b.example" };
    QTest::newRow("other schemes skipped")
        << http
        << QByteArray("<servers><server url=\"file:///etc\"/><server url=\"ftp://x\"/>"
                      "<server url=\"\"/><server/><mirror url=\"http://c\"/></servers>")
        << true << QStringList();
    QTest::newRow("unknown children skipped")
        << http << QByteArray("<servers><note>hi<b/></note><server url=\"http://a\"/></servers>")
        << true << QStringList { "http://a" };
    QTest::newRow("wrong root") << http << QByteArray("<releases/>") << false << QStringList();
    QTest::newRow("empty") << http << QByteArray() << false << QStringList();
    QTest::newRow("unclosed") << http << QByteArray("<servers><server url=\"http://a\"/>") << false
                              << QStringList();
    QTest::newRow("two roots") << http << QByteArray("<servers/><servers/>") << false
                               << QStringList();
    QTest::newRow("doctype") << http
                             << QByteArray("<!DOCTYPE servers [<!ENTITY e \"x\">]><servers/>")
                             << false << QStringList();
    QTest::newRow("json") << http << QByteArray("{\"servers\":[\"http://a\"]}") << false
                          << QStringList();
    QTest::newRow("not utf-8") << http << QByteArray("<servers>\xff\xfe</servers>") << false
                               << QStringList();
}

void TestUpdateReplyParser::servers()
{
    QFETCH(QUrl, listUrl);
    QFETCH(QByteArray, xml);
    QFETCH(bool, ok);
    QFETCH(QStringList, servers);

    QList<QUrl> found = { QUrl("http://left.over") };
    QString error;
    QCOMPARE(UpdateReplyParser::parseServers(xml, listUrl, &found, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!ok) {
        // A failed parse leaves the caller's list alone.
        QCOMPARE(found.size(), 1);
        return;
    }
    QStringList texts;
    for (const QUrl &url : found)
        texts.append(url.toString());
    QCOMPARE(texts, servers);
}

void TestUpdateReplyParser::releases_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("versions");

    QTest::newRow("two") << QByteArray("<releases><release id=\"a1\" version=\"1.9\"/>"
                                       "<release id=\"b_2\" version=\" 1.10 \"/></releases>")
                         << true << QStringList { "a1", "b_2" } << QStringList { "1.9", "1.10" };
    QTest::newRow("none") << QByteArray("<releases></releases>") << true << QStringList()
                          << QStringList();
    QTest::newRow("id missing") << QByteArray("<releases><release version=\"1.0\"/></releases>")
                                << false << QStringList() << QStringList();
    QTest::newRow("id with slash")
        << QByteArray("<releases><release id=\"a/b\" version=\"1.0\"/></releases>") << false
        << QStringList() << QStringList();
    QTest::newRow("id too long") << QByteArray("<releases><release id=\"" + QByteArray(65, 'a')
                                               + "\" version=\"1\"/></releases>")
                                 << false << QStringList() << QStringList();
    QTest::newRow("version empty")
        << QByteArray("<releases><release id=\"a\" version=\"  \"/></releases>") << false
        << QStringList() << QStringList();
    QTest::newRow("trailing text")
        << QByteArray("<releases><release id=\"a\" version=\"1\"/></releases>junk") << false
        << QStringList() << QStringList();
    QTest::newRow("bad attribute quoting")
        << QByteArray("<releases><release id=a version=\"1\"/></releases>") << false
        << QStringList() << QStringList();
    QByteArray many = "<releases>";
    for (int i = 0; i <= UpdateReplyParser::kMaxReleases; ++i)
        many += "<release id=\"r" + QByteArray::number(i) + "\" version=\"1."
            + QByteArray::number(i) + "\"/>";
    many += "</releases>";
    QTest::newRow("too many") << many << false << QStringList() << QStringList();
}

void TestUpdateReplyParser::releases()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, ok);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, versions);

    QList<UpdateRelease> found;
    QString error;
    QCOMPARE(UpdateReplyParser::parseReleases(xml, &found, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    QStringList foundIds;
    QStringList foundVersions;
    for (const UpdateRelease &release : found) {
        foundIds.append(release.id);
        foundVersions.append(release.version);
    }
    QCOMPARE(foundIds, ids);
    QCOMPARE(foundVersions, versions);
}

void TestUpdateReplyParser::details_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<qint64>("firstSize");
    QTest::addColumn<int>("firstKind");
    QTest::addColumn<int>("count");

    const QByteArray sha(64, 'a');
    QTest::newRow("full") << QByteArray(
        "<release id=\"r\" version=\"2.0\"><file id=\"f\" name=\"fw.bin\""
        " size=\"12\" kind=\"2\" sha256=\""
        + sha + "\"/></release>")
                          << true << "fw.bin" << qint64(12) << 2 << 1;
    QTest::newRow("minimal") << QByteArray("<release><file id=\"f\" name=\"a b.msi\"/>"
                                           "<file id=\"g\" name=\"c.bin\"/></release>")
                             << true << "a b.msi" << qint64(-1) << 0 << 2;
    QTest::newRow("no files") << QByteArray("<release id=\"r\"/>") << false << "" << qint64(-1) << 0
                              << 0;
    QTest::newRow("unsafe name") << QByteArray("<release><file id=\"f\" name=\"../x\"/></release>")
                                 << false << "" << qint64(-1) << 0 << 0;
    QTest::newRow("escaped unsafe name")
        << QByteArray("<release><file id=\"f\" name=\"..&#47;x\"/></release>") << false << ""
        << qint64(-1) << 0 << 0;
    QTest::newRow("same name twice, other case")
        << QByteArray("<release><file id=\"f\" name=\"FW.bin\"/><file id=\"g\" name=\"fw.BIN\"/>"
                      "</release>")
        << false << "" << qint64(-1) << 0 << 0;
    QTest::newRow("negative size")
        << QByteArray("<release><file id=\"f\" name=\"a\" size=\"-1\"/></release>") << false << ""
        << qint64(-1) << 0 << 0;
    QTest::newRow("size beyond limit")
        << QByteArray("<release><file id=\"f\" name=\"a\" size=\"99999999999999\"/></release>")
        << false << "" << qint64(-1) << 0 << 0;
    QTest::newRow("size not a number")
        << QByteArray("<release><file id=\"f\" name=\"a\" size=\"12k\"/></release>") << false << ""
        << qint64(-1) << 0 << 0;
    QTest::newRow("short checksum")
        << QByteArray("<release><file id=\"f\" name=\"a\" sha256=\"abcd\"/></release>") << false
        << "" << qint64(-1) << 0 << 0;
    QTest::newRow("checksum not hex") << QByteArray("<release><file id=\"f\" name=\"a\" sha256=\""
                                                    + QByteArray(64, 'z') + "\"/></release>")
                                      << false << "" << qint64(-1) << 0 << 0;
    QTest::newRow("kind out of range")
        << QByteArray("<release><file id=\"f\" name=\"a\" kind=\"300\"/></release>") << false << ""
        << qint64(-1) << 0 << 0;
    QTest::newRow("file id missing") << QByteArray("<release><file name=\"a\"/></release>") << false
                                     << "" << qint64(-1) << 0 << 0;
    QTest::newRow("release too large")
        << QByteArray("<release><file id=\"f\" name=\"a\" size=\"1073741824\"/>"
                      "<file id=\"g\" name=\"b\" size=\"1\"/></release>")
        << false << "" << qint64(-1) << 0 << 0;
    QByteArray many = "<release>";
    for (int i = 0; i <= UpdateReplyParser::kMaxFilesPerRelease; ++i)
        many += "<file id=\"f" + QByteArray::number(i) + "\" name=\"f" + QByteArray::number(i)
            + "\"/>";
    many += "</release>";
    QTest::newRow("too many files") << many << false << "" << qint64(-1) << 0 << 0;
}

void TestUpdateReplyParser::details()
{
    QFETCH(QByteArray, xml);
    QFETCH(bool, ok);
    QFETCH(QString, firstName);
    QFETCH(qint64, firstSize);
    QFETCH(int, firstKind);
    QFETCH(int, count);

    UpdateReleaseDetails found;
    QString error;
    QCOMPARE(UpdateReplyParser::parseReleaseDetails(xml, &found, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    QCOMPARE(found.files.size(), count);
    if (count == 0)
        return;
    QCOMPARE(found.files.first().name, firstName);
    QCOMPARE(found.files.first().size, firstSize);
    QCOMPARE(found.files.first().kind, firstKind);
    QVERIFY(found.files.first().sha256.isEmpty() || found.files.first().sha256.size() == 32);
}

void TestUpdateReplyParser::safeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << "firmware.bin" << true;
    QTest::newRow("spaces inside") << "VARNO Device Manager 2.1.msi" << true;
    QTest::newRow("unicode") << QStringLiteral("прошивка.bin") << true;
    QTest::newRow("double dots inside") << "a..b" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("hidden") << ".profile" << false;
    QTest::newRow("trailing dot") << "a." << false;
    QTest::newRow("leading space") << " a" << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("drive") << "C:a" << false;
    QTest::newRow("stream") << "a:b" << false;
    QTest::newRow("wildcard") << "a*" << false;
    QTest::newRow("newline") << "a\nb" << false;
    QTest::newRow("nul") << QString(QStringLiteral("a%1b")).arg(QChar(0)) << false;
    QTest::newRow("device") << "nul" << false;
    QTest::newRow("device with extension") << "Com1.txt" << false;
    QTest::newRow("not quite a device") << "console.txt" << true;
    QTest::newRow("too long") << QString(256, QLatin1Char('a')) << false;
    QTest::newRow("longest") << QString(255, QLatin1Char('a')) << true;
}

void TestUpdateReplyParser::safeFileName()
{
    QFETCH(QString, name);
    QFETCH(bool, safe);
    QCOMPARE(UpdateReplyParser::isSafeFileName(name), safe);
}

QTEST_APPLESS_MAIN(TestUpdateReplyParser)
#include "tst_updatereplyparser.moc"

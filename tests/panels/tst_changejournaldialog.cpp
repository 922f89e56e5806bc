// The General tab's journal of changes: a read-only view of this monitor's lines.

#include "device/changejournal.h"
#include "panels/generaldevicewidget.h"
#include "tests/panels/dialoganswerer.h"
#include "tests/panels/panelfixture.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class tst_ChangeJournalDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsThisMonitorsChanges_data();
    void showsThisMonitorsChanges();
};

void tst_ChangeJournalDialog::showsThisMonitorsChanges_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no journal yet") << QByteArray() << "No changes have been journalled.";
    QTest::newRow("two monitors")
        << QByteArray("{\"time\":\"2026-01-02T03:04:05Z\",\"serial\":\"SN-4711\",\"what\":\"calibration\","
                      "\"old\":1,\"new\":1.05,\"result\":\"accepted\"}\n"
                      "{\"time\":\"2026-01-02T03:04:06Z\",\"serial\":\"OTHER\",\"what\":\"password\","
                      "\"result\":\"accepted\"}\n")
        << "2026-01-02T03:04:05Z  SN-4711  calibration  1.00 -> 1.05  accepted";
}

void tst_ChangeJournalDialog::showsThisMonitorsChanges()
{
    QFETCH(QByteArray, journal);
    QFETCH(QString, shown);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("journal.jsonl"));
    if (!journal.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(journal) == journal.size());
    }
    ChangeJournal::instance()->setPath(path);
    AttachedSimulator sim;
    QVERIFY(sim.attach({ "--serial", "SN-4711" }));
    GeneralDeviceWidget widget;
    widget.setDevice(sim.path());
    DialogAnswerer answerer;
    QString text;
    answerer.then([&text](QWidget *dialog) {
        auto *view = dialog->findChild<QPlainTextEdit *>(QStringLiteral("journalText"));
        text = view && view->isReadOnly() ? view->toPlainText() : QStringLiteral("<no read-only view>");
        static_cast<QDialog *>(dialog)->reject();
    });
    widget.findChild<QPushButton *>(QStringLiteral("journalButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(answerer.pending() == 0 && !QApplication::activeModalWidget(), 10000);
    QCOMPARE(answerer.seen(), QStringList({ "Journal of changes" }));
    QCOMPARE(text, shown);
}

QTEST_MAIN(tst_ChangeJournalDialog)
#include "tst_changejournaldialog.moc"

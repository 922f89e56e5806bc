#include "app/applicationsettings.h"
#include "app/notificationsmanager.h"
#include "app/resources.h"
#include "charts/framehystogram.h"
#include "charts/hystogramtimeline.h"
#include "device/device.h"
#include "device/devicemanager.h"
#include "history/historyformat.h"
#include "history/ui/historyviewwidget.h"
#include "history/ui/searchwidget.h"
#include "history/sqlreader.h"
#include "panels/normaldeviceframe.h"
#include "tasks/filedescriptor.h"
#include "tests/common/devsimprocess.h"
#include "tests/history/historytestutil.h"
#include "tests/history/statisticsfixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QQueue>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <functional>

namespace {

using StatisticsFixture::Block;

// 2016-03-14 09:00:00 in seconds since the device's time base.
constexpr quint32 kFirstStart = 132570000;

// Answers the modal dialogs the page opens, in the order they appear, and notes what each said.
class DialogAnswerer : public QObject
{
public:
    using Handler = std::function<void(QWidget *)>;

    void answer(const Handler &handler)
    {
        m_handlers.enqueue(handler);
        if (m_timer == 0)
            m_timer = startTimer(5);
    }
    // Presses the message box button with this object name, or its only/default button.
    void pressButton(const QString &objectName = QString())
    {
        answer([objectName](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return;
            QAbstractButton *button = objectName.isEmpty()
                ? (box->defaultButton() ? box->defaultButton() : box->buttons().value(0))
                : box->findChild<QAbstractButton *>(objectName);
            if (button)
                button->click();
        });
    }
    void chooseFile(const QString &path)
    {
        answer([this, path](QWidget *w) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog)
                return;
            // Folder and name typed as a user would: selectFile() alone leaves the name field to
            // the folder model, which a busy machine may not have loaded yet, and the dialog then
            // takes the folder for the choice and stays open.
            const QFileInfo target(path);
            dialog->setDirectory(target.absolutePath());
            dialog->selectFile(target.fileName());
            if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                name->setText(target.fileName());
            // QFileDialog keeps accept() protected; it checks the chosen name as a user's click
            // would.
            QMetaObject::invokeMethod(dialog, "accept");
            if (dialog->isVisible()) {
                // Never left waiting: a refused choice fails the test by name instead.
                seen << QStringLiteral("not accepted: ") + dialog->selectedFiles().join(QLatin1Char(','));
                dialog->reject();
            }
        });
    }
    void cancelDialog()
    {
        answer([](QWidget *w) {
            if (auto *dialog = qobject_cast<QDialog *>(w))
                dialog->reject();
        });
    }

    // "title|text" of every message box answered, and the titles of other dialogs.
    QStringList seen;
    QStringList buttonNames;
    bool idle() const { return m_handlers.isEmpty(); }

protected:
    void timerEvent(QTimerEvent *) override
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || m_handled.contains(modal) || m_handlers.isEmpty())
            return;
        m_handled.append(modal);
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen << box->windowTitle() + QLatin1Char('|') + box->text();
            buttonNames.clear();
            const QList<QAbstractButton *> buttons = box->buttons();
            for (QAbstractButton *b : buttons)
                buttonNames << b->objectName() + QLatin1Char('=') + b->text();
        } else {
            seen << modal->windowTitle();
        }
        const Handler handler = m_handlers.dequeue();
        handler(modal);
        if (m_handlers.isEmpty()) {
            killTimer(m_timer);
            m_timer = 0;
        }
    }

private:
    QQueue<Handler> m_handlers;
    QList<QPointer<QWidget>> m_handled;
    int m_timer = 0;
};

QSettings &settings()
{
    return *ApplicationSettings::instance()->settings();
}

QString readFailure()
{
    return QStringLiteral("Reading history|Reading the history from the device failed\nbecause a "
                          "file is lost or corrupted.");
}

QString expectedRow(quint32 seconds, const QString &value)
{
    return HistoryFormat::formatRecordTime(HistoryFormat::timeFromSeconds(seconds))
        + QLatin1Char('=') + value;
}

} // namespace

// The History page against the real simulator, real SQLite files and real dialogs.
class tst_HistoryView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void construction_data();
    void construction();
    void readFromDevice();
    void readFailures_data();
    void readFailures();
    void deviceRemovedMidRead_data();
    void deviceRemovedMidRead();
    void openLocalFile_data();
    void openLocalFile();
    void filter_data();
    void filter();
    void exportCsv();
    void cancelLoad();
    void exportAsksBeforeReplacing();
    void removeHistory_data();
    void removeHistory();
    void removeWithoutDevice();

private:
    bool attach(const QStringList &args);
    bool waitIdle(HistoryViewWidget &page);
    QString writeStatistics(const QString &name, const QByteArray &data);
    QString makeHistory(const QString &name, int rows);
    QStringList deviceFileNames();
    HistoryViewWidget *historyPage(NormalDeviceFrame &frame);

    DevSimProcess m_sim;
    QString m_path;
    QTemporaryDir m_files;
};

void tst_HistoryView::init()
{
    QDir(HistoryFormat::dataDirectory()).removeRecursively();
    QVERIFY(QDir().mkpath(HistoryFormat::dataDirectory()));
    settings().clear();
}

void tst_HistoryView::cleanup()
{
    if (!m_path.isEmpty() && DeviceManager::instance()->device(m_path))
        DeviceManager::instance()->OnDeviceRemoved(m_path);
    m_sim.stop();
    m_path.clear();
    QCOMPARE(DeviceManager::deviceCount(), 0);
}

bool tst_HistoryView::attach(const QStringList &args)
{
    if (!m_sim.start(args))
        return false;
    m_path = m_sim.path();
    QSignalSpy inserted(DeviceManager::instance(), &DeviceManager::DeviceInserted);
    DeviceManager::instance()->OnDeviceInserted(m_path);
    return DeviceManager::instance()->device(m_path)
        && (inserted.size() > 0 || inserted.wait(20000));
}

// Waits until no device read, conversion or database read is under way.
bool tst_HistoryView::waitIdle(HistoryViewWidget &page)
{
    const auto idle = [&page] {
        const QList<QThread *> workers
            = page.findChildren<QThread *>(QString(), Qt::FindDirectChildrenOnly);
        for (QThread *worker : workers) {
            if (worker->isRunning())
                return false;
        }
        return !page.isReading();
    };
    if (!QTest::qWaitFor(idle, 20000))
        return false;
    QCoreApplication::processEvents();
    return idle();
}

QString tst_HistoryView::writeStatistics(const QString &name, const QByteArray &data)
{
    const QString path = m_files.filePath(name);
    return StatisticsFixture::writeFile(path, data) ? path : QString();
}

// A history database with `rows` records ten seconds apart, values 1, 2, 3...
QString tst_HistoryView::makeHistory(const QString &name, int rows)
{
    const QString path = m_files.filePath(name);
    QFile::remove(path);
    QStringList statements { QStringLiteral(
        "CREATE TABLE records_table (time TIMESTAMP PRIMARY KEY NOT NULL, value REAL);"),
                             QStringLiteral("BEGIN;") };
    for (int i = 0; i < rows; ++i) {
        statements << QStringLiteral("INSERT INTO records_table VALUES ('%1', %2);")
                          .arg(HistoryFormat::formatRecordTime(
                              HistoryFormat::timeFromSeconds(kFirstStart + 10 * i)))
                          .arg(i + 1);
    }
    statements << QStringLiteral("COMMIT;");
    return HistoryTestUtil::execute(path, statements) ? path : QString();
}

QStringList tst_HistoryView::deviceFileNames()
{
    Device *device = DeviceManager::instance()->device(m_path);
    if (!device)
        return { QStringLiteral("<no device>") };
    QSignalSpy updated(device, &Device::dataUpdated);
    device->executeCommand(Device::ListFiles, QVariantHash());
    for (int i = 0; i < 100 && !updated.contains({ int(Device::ListFiles) }); ++i)
        updated.wait(100);
    QStringList names;
    const QVariantList files = device->data(Device::ListFiles).toList();
    for (const QVariant &file : files)
        names << file.value<FileDescriptor>().fileName();
    return names;
}

HistoryViewWidget *tst_HistoryView::historyPage(NormalDeviceFrame &frame)
{
    frame.setDevice(m_path);
    return qobject_cast<HistoryViewWidget *>(frame.historyWidget());
}

void tst_HistoryView::construction_data()
{
    QTest::addColumn<bool>("historyMode");
    QTest::addColumn<int>("enabled");
    QTest::newRow("device page") << false
                                 << int(HistoryViewWidget::DeviceActions
                                        | HistoryViewWidget::OpenActions);
    QTest::newRow("history mode") << true << int(HistoryViewWidget::OpenActions);
}

void tst_HistoryView::construction()
{
    QFETCH(bool, historyMode);
    QFETCH(int, enabled);
    HistoryViewWidget page(historyMode);
    page.show();
    QCOMPARE(page.enabledActions(), enabled);
    QCOMPARE(page.findChild<QLabel *>(QStringLiteral("header"))->isVisible(), historyMode);
    QCOMPARE(page.findChild<QLabel *>(QStringLiteral("header"))->text(),
             QStringLiteral("History View"));
    QVERIFY(NotificationsManager::instance()->isRegistered(&page));

    // Four groups, each followed by a separator, icons compiled in.
    QStringList bar;
    const QList<QAction *> actions = page.toolBar()->actions();
    for (QAction *a : actions) {
        if (a->isSeparator()) {
            bar << QStringLiteral("|");
            continue;
        }
        QCOMPARE(a->toolTip(), a->text());
        bar << a->text();
    }
    QCOMPARE(bar,
             QStringList({ QStringLiteral("Read history from device."),
                           QStringLiteral("Remove history from device."), QStringLiteral("|"),
                           QStringLiteral("Open history from local storage."), QStringLiteral("|"),
                           QStringLiteral("Export data to CSV."),
                           QStringLiteral("Where this history came from."), QStringLiteral("|"),
                           QStringLiteral("Open history filter toolbox."), QStringLiteral("|") }));
    for (const char *image :
         { "download", "remove_history", "open_history", "csv_export", "info", "filter_history" }) {
        const QString path = QStringLiteral(":/images/%1.png").arg(QLatin1String(image));
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    }

    // Without a device the read does nothing at all.
    page.action(QStringLiteral("readHistoryAction"))->trigger();
    QVERIFY(!page.isReading());
    QCOMPARE(page.enabledActions(), enabled);
}

void tst_HistoryView::readFromDevice()
{
    // Two blocks whose values name their position, the second overlapping nothing.
    const QByteArray index
        = StatisticsFixture::contiguousIndex({ { kFirstStart, 3 }, { kFirstStart + 100, 2 } });
    const QByteArray values = StatisticsFixture::words({ 0x0405, 0x0817, 0x03FF, 7, 0x0801 });
    const QString indexPath = writeStatistics(QStringLiteral("index.bin"), index);
    const QString valuePath = writeStatistics(QStringLiteral("values.bin"), values);
    QVERIFY(attach(
        { QStringLiteral("--meastime"), indexPath, QStringLiteral("--measure"), valuePath }));

    // A stale lower-case copy from another monitor must not be what gets converted.
    const QString data = HistoryFormat::dataDirectory();
    QVERIFY(StatisticsFixture::writeFile(data + QStringLiteral("/meastime.dat"),
                                         StatisticsFixture::blockRecord(0, 0)));
    QVERIFY(StatisticsFixture::writeFile(data + QStringLiteral("/measure.dat"),
                                         StatisticsFixture::words({ 99 })));

    NormalDeviceFrame frame;
    HistoryViewWidget *page = historyPage(frame);
    QVERIFY2(page, "the History tab holds the history page");
    QVERIFY(!page->isHistoryMode());
    QCOMPARE(page->deviceName(), m_path);

    QSignalSpy progress(NotificationsManager::instance(), &NotificationsManager::progressShown);
    page->action(QStringLiteral("readHistoryAction"))->trigger();
    QVERIFY(page->isReading());
    QCOMPARE(page->enabledActions(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!page->currentDatabase().isEmpty(), 20000);
    QVERIFY(waitIdle(*page));

    // The database lies in the data directory, named after the moment of conversion.
    const QFileInfo database(page->currentDatabase());
    QCOMPARE(database.absolutePath(), QFileInfo(data).absoluteFilePath());
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d{4}\\.\\d\\d\\.\\d\\d \\d\\d-\\d\\d-\\d\\d\\.hist$"))
            .match(database.fileName())
            .hasMatch(),
        qPrintable(database.fileName()));
    QCOMPARE(HistoryTestUtil::databaseRows(page->currentDatabase()),
             QStringList({ expectedRow(kFirstStart, QStringLiteral("0.5")),
                           expectedRow(kFirstStart + 10, QStringLiteral("0.23")),
                           expectedRow(kFirstStart + 20, QStringLiteral("1023")),
                           expectedRow(kFirstStart + 100, QStringLiteral("7")),
                           expectedRow(kFirstStart + 110, QStringLiteral("0.01")) })
                 .join(QLatin1Char(' ')));
    // Where it came from, on request.
    {
        DialogAnswerer answerer;
        answerer.pressButton();
        page->action(QStringLiteral("historyInfoAction"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answerer.idle(), 20000);
        const QString shown = answerer.seen.value(0);
        QVERIFY2(shown.startsWith(QStringLiteral("History provenance|") + database.fileName()), qPrintable(shown));
        for (const char *line : { "\nserial: SN-000123\n", "\nrecords_written: 5\n", "\nrecords_read: 5\n" })
            QVERIFY2(shown.contains(QLatin1String(line)), qPrintable(shown));
    }

    // The raw files in a folder of this download's own beside the history.
    const QStringList raw = QDir(data).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(raw.size(), 1);
    QCOMPARE(QDir(data + QLatin1Char('/') + raw.first()).entryList(QDir::Files),
             QStringList({ "MEASTIME.DAT", "MEASURE.DAT" }));

    // Shown, and the filter offers exactly the range read.
    const HystogramPoints points = page->histogram()->timeline()->points();
    QCOMPARE(points.size(), 5);
    QCOMPARE(points.first().time, HistoryFormat::timeFromSeconds(kFirstStart));
    QCOMPARE(points.at(2).value, 1023.0f);
    QCOMPARE(page->searchWidget()->initialTime(), HistoryFormat::timeFromSeconds(kFirstStart));
    QCOMPARE(page->searchWidget()->endTime(), HistoryFormat::timeFromSeconds(kFirstStart + 110));
    QCOMPARE(page->enabledActions(), int(HistoryViewWidget::AllActions & 15));
    QVERIFY(!page->isLocalFile());

    QStringList stages;
    for (const QList<QVariant> &p : qAsConst(progress))
        stages << p.at(0).toString();
    QVERIFY2(stages.contains(QStringLiteral("History parsing")), qPrintable(stages.join(',')));
    QVERIFY2(stages.contains(QStringLiteral("Converting")), qPrintable(stages.join(',')));
    QVERIFY2(stages.contains(QStringLiteral("Loading")), qPrintable(stages.join(',')));
}

void tst_HistoryView::readFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("index");

    QTest::newRow("no time index on the device") << QStringList(
        { QStringLiteral("--no-files"), QStringLiteral("--file"), QStringLiteral("@readme") })
                                                 << QByteArray();
    QTest::newRow("empty time index") << QStringList() << QByteArray();
    QTest::newRow("unknown layout byte")
        << QStringList() << StatisticsFixture::blockRecord(0, 0, 0x42);
    // The reply to the read lacks its last byte: the task fails and leaves no result item.
    QTest::newRow("truncated read reply")
        << QStringList({ QStringLiteral("--wrong-length"), QStringLiteral("0x41"),
                         QStringLiteral("--wrong-length-by"), QStringLiteral("-1") })
        << StatisticsFixture::blockRecord(kFirstStart, 0);
}

void tst_HistoryView::readFailures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, index);
    for (QString &arg : args) {
        if (arg == QLatin1String("@readme"))
            arg = writeStatistics(QStringLiteral("readme.txt"), "hello");
    }
    if (!args.contains(QLatin1String("--no-files"))) {
        args << QStringLiteral("--meastime") << writeStatistics(QStringLiteral("index.bin"), index)
             << QStringLiteral("--measure")
             << writeStatistics(QStringLiteral("values.bin"), StatisticsFixture::countingWords(4));
    }
    QVERIFY(attach(args));

    NormalDeviceFrame frame;
    HistoryViewWidget *page = historyPage(frame);
    DialogAnswerer answerer;
    answerer.pressButton();
    page->action(QStringLiteral("readHistoryAction"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answerer.idle(), 20000);
    QCOMPARE(answerer.seen, QStringList({ readFailure() }));
    QVERIFY(waitIdle(*page));
    QVERIFY(page->currentDatabase().isEmpty());
    // A failed read gives back what was enabled before it.
    QCOMPARE(page->enabledActions(),
             int(HistoryViewWidget::DeviceActions | HistoryViewWidget::OpenActions));
    const QStringList histories
        = QDir(HistoryFormat::dataDirectory()).entryList({ QStringLiteral("*.hist") }, QDir::Files);
    QVERIFY2(histories.isEmpty(), qPrintable(histories.join(',')));
}

void tst_HistoryView::deviceRemovedMidRead_data()
{
    QTest::addColumn<int>("removeAfterItem"); // -1: right after the click
    QTest::newRow("before the file list") << -1;
    QTest::newRow("after the file list") << int(Device::ListFiles);
    QTest::newRow("after the time index") << int(Device::ReadFile);
}

void tst_HistoryView::deviceRemovedMidRead()
{
    QFETCH(int, removeAfterItem);
    QVERIFY(attach({ QStringLiteral("--stat-blocks"), QStringLiteral("4"),
                     QStringLiteral("--stat-values"), QStringLiteral("2000") }));
    QPointer<Device> device = DeviceManager::instance()->device(m_path);
    NormalDeviceFrame frame;
    HistoryViewWidget *page = historyPage(frame);

    // Pulled out the moment the chosen answer has been handed on.
    const QString path = m_path;
    QObject context;
    if (removeAfterItem >= 0) {
        connect(device, &Device::dataUpdated, &context, [path, removeAfterItem](int item) {
            if (item == removeAfterItem) {
                QTimer::singleShot(0, DeviceManager::instance(),
                                   [path] { DeviceManager::instance()->OnDeviceRemoved(path); });
            }
        });
    }
    page->action(QStringLiteral("readHistoryAction"))->trigger();
    if (removeAfterItem < 0)
        DeviceManager::instance()->OnDeviceRemoved(m_path);
    QTRY_VERIFY_WITH_TIMEOUT(device.isNull(), 20000);

    QVERIFY(page->deviceName().isEmpty());
    QVERIFY(!page->isReading());
    QVERIFY(waitIdle(*page));
    QCOMPARE(page->enabledActions(),
             int(HistoryViewWidget::DeviceActions | HistoryViewWidget::OpenActions));
    // Clicking again without a device is harmless.
    page->action(QStringLiteral("readHistoryAction"))->trigger();
    QVERIFY(!page->isReading());
}

void tst_HistoryView::openLocalFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("message");

    const QString formatError
        = QStringLiteral("File format error|Can't read history from the specified file.");
    QTest::newRow("history of 30 records") << "good" << 30 << QString();
    QTest::newRow("history without records") << "good" << 0 << QString();
    QTest::newRow("not SQLite") << "garbage" << 0 << formatError;
    QTest::newRow("no records_table") << "othertable" << 0 << formatError;
}

void tst_HistoryView::openLocalFile()
{
    QFETCH(QString, kind);
    QFETCH(int, records);
    QFETCH(QString, message);

    QString file;
    if (kind == QLatin1String("good")) {
        file = makeHistory(QStringLiteral("saved.hist"), records);
    } else if (kind == QLatin1String("garbage")) {
        file = writeStatistics(QStringLiteral("garbage.hist"), QByteArray(4096, '\x7f'));
    } else {
        file = m_files.filePath(QStringLiteral("other.hist"));
        QFile::remove(file);
        QVERIFY(HistoryTestUtil::execute(file, { QStringLiteral("CREATE TABLE t (a, b);") }));
    }
    QVERIFY(!file.isEmpty());

    HistoryViewWidget page(true);
    page.show();
    DialogAnswerer answerer;
    answerer.chooseFile(file);
    if (!message.isEmpty())
        answerer.pressButton();
    page.action(QStringLiteral("openHistoryAction"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answerer.idle(), 10000);
    QVERIFY(waitIdle(page));

    QVERIFY(page.isLocalFile());
    QCOMPARE(page.currentDatabase(), QFileInfo(file).absoluteFilePath());
    QCOMPARE(settings().value(QStringLiteral("HistoryDir")).toString(),
             QFileInfo(file).absolutePath());
    QCOMPARE(answerer.seen.mid(1), message.isEmpty() ? QStringList() : QStringList({ message }));
    // History mode never offers the device actions.
    QCOMPARE(page.enabledActions() & HistoryViewWidget::DeviceActions, 0);
    if (!message.isEmpty()) {
        QCOMPARE(page.enabledActions(), int(HistoryViewWidget::OpenActions));
        QCOMPARE(page.histogram()->timeline()->points().size(), 1);
        return;
    }
    QCOMPARE(page.enabledActions(),
             int(HistoryViewWidget::OpenActions | HistoryViewWidget::ExportActions
                 | HistoryViewWidget::FilterActions));
    // Without records the chart keeps its one-bar placeholder.
    QCOMPARE(page.histogram()->timeline()->points().size(), qMax(records, 1));
    if (records > 0) {
        QCOMPARE(page.histogram()->timeline()->points().last().value, float(records));
        QCOMPARE(page.searchWidget()->endTime(),
                 HistoryFormat::timeFromSeconds(kFirstStart + 10 * (records - 1)));
    }
}

void tst_HistoryView::filter_data()
{
    QTest::addColumn<int>("from"); // record positions of the time range
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("condition"); // empty: "Advanced search" unchecked
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("earlierCondition"); // a value search made before this one
    QTest::addColumn<int>("expected");

    QTest::newRow("whole range") << 0 << 19 << QString() << 0.0 << QString() << 20;
    QTest::newRow("inner range") << 5 << 9 << QString() << 0.0 << QString() << 5;
    QTest::newRow("one second") << 7 << 7 << QString() << 0.0 << QString() << 1;
    QTest::newRow(">= 15") << 0 << 19 << ">=" << 15.0 << QString() << 6;
    QTest::newRow("<= 3") << 0 << 19 << "<=" << 3.0 << QString() << 3;
    QTest::newRow("> 15") << 0 << 19 << ">" << 15.0 << QString() << 5;
    QTest::newRow("< 3") << 0 << 19 << "<" << 3.0 << QString() << 2;
    QTest::newRow("= 4") << 0 << 19 << "=" << 4.0 << QString() << 1;
    QTest::newRow("range and value") << 10 << 14 << ">" << 12.0 << QString() << 3;
    // Unchecking "Advanced search" keeps the value filter of the earlier search.
    QTest::newRow("unchecked after a value search") << 0 << 19 << QString() << 0.0 << ">" << 16;
}

void tst_HistoryView::filter()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, condition);
    QFETCH(double, value);
    QFETCH(QString, earlierCondition);
    QFETCH(int, expected);

    const QString file = makeHistory(QStringLiteral("filter.hist"), 20);
    HistoryViewWidget page(true);
    page.show();
    DialogAnswerer answerer;
    answerer.chooseFile(file);
    page.action(QStringLiteral("openHistoryAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    QVERIFY(waitIdle(page));
    QCOMPARE(page.histogram()->timeline()->points().size(), 20);

    SearchWidget *search = page.searchWidget();
    auto *group = search->findChild<QGroupBox *>(QStringLiteral("SearchValueGroup"));
    auto *spin = search->findChild<QDoubleSpinBox *>(QStringLiteral("valueSpinBox"));
    auto *combo = search->findChild<QComboBox *>(QStringLiteral("condition"));
    auto *button = search->findChild<QPushButton *>(QStringLiteral("searchButton"));
    QWidget *filterButton
        = page.toolBar()->widgetForAction(page.action(QStringLiteral("filterHistoryAction")));
    const auto runSearch = [&](const QString &cond, double v) {
        page.action(QStringLiteral("filterHistoryAction"))->trigger();
        // Directly below the square filter button (the platform may add a window frame of its own).
        const QPoint below = filterButton->mapToGlobal(QPoint(0, filterButton->width()));
        if (!search->isVisible() || (search->pos() - below).manhattanLength() > 4)
            return false;
        group->setChecked(!cond.isEmpty());
        if (!cond.isEmpty()) {
            combo->setCurrentText(cond);
            spin->setValue(v);
        }
        search->setTimes(HistoryFormat::timeFromSeconds(kFirstStart + 10 * from),
                         HistoryFormat::timeFromSeconds(kFirstStart + 10 * to));
        button->click();
        return !search->isVisible();
    };
    if (!earlierCondition.isEmpty()) {
        QVERIFY(runSearch(earlierCondition, 4.0));
        QVERIFY(waitIdle(page));
    }
    QVERIFY2(runSearch(condition, value),
             "the pop-up shows on the filter button and hides on Search");
    QVERIFY(waitIdle(page));
    const HystogramPoints points = page.histogram()->timeline()->points();
    QCOMPARE(page.reader()->results().size(), expected);
    QCOMPARE(points.size(), qMax(expected, 1));
    // A search keeps the user's times in the pop-up.
    QCOMPARE(search->initialTime(), HistoryFormat::timeFromSeconds(kFirstStart + 10 * from));
    QCOMPARE(search->endTime(), HistoryFormat::timeFromSeconds(kFirstStart + 10 * to));
}

void tst_HistoryView::exportCsv()
{
    HistoryViewWidget page(true);
    page.show();

    // A history without records: export and filter are offered, but there is nothing to write.
    DialogAnswerer answerer;
    answerer.chooseFile(makeHistory(QStringLiteral("empty.hist"), 0));
    answerer.pressButton();
    page.action(QStringLiteral("openHistoryAction"))->trigger();
    QTRY_VERIFY(page.isLocalFile());
    QVERIFY(waitIdle(page));
    QVERIFY(page.action(QStringLiteral("exportCsvAction"))->isEnabled());
    page.action(QStringLiteral("exportCsvAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    QCOMPARE(answerer.seen.value(1), QStringLiteral("No data|There is no data to export."));

    answerer.chooseFile(makeHistory(QStringLiteral("export.hist"), 3));
    page.action(QStringLiteral("openHistoryAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    QVERIFY(waitIdle(page));

    // A cancelled dialog writes nothing and keeps the folder setting.
    QTemporaryDir out;
    answerer.seen.clear();
    answerer.cancelDialog();
    page.action(QStringLiteral("exportCsvAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    QCOMPARE(answerer.seen, QStringList({ QStringLiteral("Export CSV...") }));
    QVERIFY(!settings().contains(QStringLiteral("CSVExportDir")));

    answerer.chooseFile(out.filePath(QStringLiteral("report")));
    page.action(QStringLiteral("exportCsvAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    const QString csv = out.filePath(QStringLiteral("report.csv"));
    // The exporter deletes itself when done; the reader stays.
    QTRY_COMPARE(page.findChildren<QThread *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
    QVERIFY(QFile::exists(csv));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines
        = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.first(), QStringLiteral("Date; Time; Value"));
    const QDateTime first = HistoryFormat::timeFromSeconds(kFirstStart);
    QCOMPARE(lines.at(1),
             first.toString(QStringLiteral("yyyy-MM-dd;hh:mm:ss;"))
                 + QLocale().toString(1.0, 'g', 6));
    QCOMPARE(settings().value(QStringLiteral("CSVExportDir")).toString(),
             QDir(out.path()).absolutePath());
}

void tst_HistoryView::cancelLoad()
{
    // Enough rows that the read looks at its stop request on the way.
    const QString history = makeHistory(QStringLiteral("cancel.hist"), 20000);
    QVERIFY(!history.isEmpty());
    HistoryViewWidget page(true);
    page.show();
    QAtomicInt asked;
    connect(page.reader(), &SQLReader::progress, page.reader(),
            [&page, &asked](const QString &, int) {
                if (!asked.testAndSetRelaxed(0, 1))
                    return;
                // The user presses Cancel in the progress window while the rows come in.
                QMetaObject::invokeMethod(page.progressDialog(), "canceled",
                                          Qt::BlockingQueuedConnection);
            },
            Qt::DirectConnection);
    page.openHistory(history);
    QVERIFY(waitIdle(page));
    QVERIFY(page.reader()->wasCancelled());
    QVERIFY(!page.reader()->error());
    QVERIFY(page.reader()->records().isEmpty());
    QCOMPARE(page.histogram()->timeline()->count(), 1);
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(page.enabledActions(), int(HistoryViewWidget::OpenActions));

    // The next load starts afresh.
    page.openHistory(makeHistory(QStringLiteral("small.hist"), 3));
    QVERIFY(waitIdle(page));
    QCOMPARE(page.reader()->records().size(), 3);
}

void tst_HistoryView::exportAsksBeforeReplacing()
{
    HistoryViewWidget page(true);
    page.show();
    DialogAnswerer answerer;
    answerer.chooseFile(makeHistory(QStringLiteral("replace.hist"), 3));
    page.action(QStringLiteral("openHistoryAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    QVERIFY(waitIdle(page));

    QTemporaryDir out;
    const QString csv = out.filePath(QStringLiteral("report.csv"));
    QVERIFY(StatisticsFixture::writeFile(csv, "old"));
    // Typed without its suffix: the dialog adds ".csv" and asks about that file; "No" keeps it.
    const QString folder = out.path();
    answerer.answer([folder, &answerer](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog)
            return;
        // Folder and name typed, as chooseFile() does: the folder model may not be loaded yet.
        dialog->setDirectory(folder);
        dialog->selectFile(QStringLiteral("report"));
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(QStringLiteral("report"));
        // Queued: the question it asks must find the answerer free. Without the question the
        // dialog refused the name: it is closed, and the test fails by name instead of waiting.
        QMetaObject::invokeMethod(
            dialog,
            [dialog, &answerer] {
                QMetaObject::invokeMethod(dialog, "accept");
                if (!answerer.idle()) {
                    answerer.seen << QStringLiteral("not asked: ")
                            + dialog->selectedFiles().join(QLatin1Char(','));
                    dialog->reject();
                }
            },
            Qt::QueuedConnection);
    });
    answerer.answer([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box)
            return;
        QWidget *dialog = box->parentWidget();
        box->button(QMessageBox::No)->click();
        QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
    });
    page.action(QStringLiteral("exportCsvAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    QVERIFY2(answerer.seen.filter(QStringLiteral("report.csv already exists")).size() == 1,
             qPrintable(answerer.seen.join(QLatin1Char('\n'))));
    QVERIFY(waitIdle(page));
    QFile kept(csv);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("old"));
}

void tst_HistoryView::removeHistory_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("readFirst"); // a verified download of the very files comes first
    QTest::newRow("Cancel") << "cancelButton" << true;
    QTest::newRow("Delete without a download") << "okButton" << false;
    QTest::newRow("Delete after a read") << "okButton" << true;
}

void tst_HistoryView::removeHistory()
{
    QFETCH(QString, button);
    QFETCH(bool, readFirst);
    QVERIFY(attach({ QStringLiteral("--stat-blocks"), QStringLiteral("1"),
                     QStringLiteral("--stat-values"), QStringLiteral("10") }));
    NormalDeviceFrame frame;
    HistoryViewWidget *page = historyPage(frame);
    if (readFirst) {
        page->action(QStringLiteral("readHistoryAction"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!page->currentDatabase().isEmpty(), 20000);
        QVERIFY(waitIdle(*page));
    }

    DialogAnswerer answerer;
    answerer.pressButton(button);
    const bool confirmed = button == QLatin1String("okButton");
    const bool remove = confirmed && readFirst;
    if (confirmed)
        answerer.pressButton();
    page->action(QStringLiteral("removeHistoryAction"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(answerer.idle(), 20000);
    QVERIFY(!page->isRemoving());
    QCOMPARE(answerer.seen.first(),
             QStringLiteral("Delete history?|Delete the history from the device?\nIt cannot be restored "
                            "afterwards."));
    QCOMPARE(answerer.seen.size(), confirmed ? 2 : 1);
    const QString notVerified = QStringLiteral(
        "Removing history|History was not removed from the device: the statistics have not been "
        "downloaded and verified yet.");
    if (confirmed) {
        QCOMPARE(answerer.seen.at(1),
                 remove ? QStringLiteral("Removing history|The history was removed from the device.")
                        : notVerified);
    }

    // Only the time index goes; a queue in order means nothing is still on its way.
    const QStringList files = deviceFileNames();
    QCOMPARE(files.contains(QStringLiteral("MEASTIME.DAT")), !remove);
    QVERIFY(files.contains(QStringLiteral("MEASURE.DAT")));

    if (remove) {
        // What the monitor holds now was never downloaded: a second removal is refused.
        answerer.seen.clear();
        answerer.pressButton(QStringLiteral("okButton"));
        answerer.pressButton();
        page->action(QStringLiteral("removeHistoryAction"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(answerer.idle(), 20000);
        QCOMPARE(answerer.seen.value(1), notVerified);
        QVERIFY(!page->isRemoving());
    }
}

void tst_HistoryView::removeWithoutDevice()
{
    HistoryViewWidget page(false);
    page.show();
    DialogAnswerer answerer;
    answerer.pressButton(QStringLiteral("okButton"));
    answerer.pressButton();
    page.action(QStringLiteral("removeHistoryAction"))->trigger();
    QTRY_VERIFY(answerer.idle());
    QCOMPARE(answerer.seen.value(1),
             QStringLiteral("Removing history|Please, connect the device to "
                            "perform this operation."));
    QCOMPARE(answerer.buttonNames.size(), 1);
    QVERIFY(!page.isRemoving());
}

// HOME and the settings store point into a temporary folder before anything reads them.
int main(int argc, char *argv[])
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    QApplication app(argc, argv);
    varno::initResources();
    QCoreApplication::setOrganizationName(QStringLiteral("VARNO Ltd"));
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
    ApplicationSettings::instance()->init(QCoreApplication::organizationName(),
                                          QCoreApplication::applicationName());
    tst_HistoryView test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_historyview.moc"

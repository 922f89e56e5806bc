#include "app/endlessprogressbar.h"
#include "app/notificationsmanager.h"
#include "app/notificationwidget.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

namespace {

// Short times keep the suite quick; nothing here asserts how long anything takes.
const int kQuickDisplayMs = 40;
const int kQuickFadeMs = 10;
const int kLongDisplayMs = 60000;

// "m:text" posts a message, "p:text:percent" a progress report.
void post(NotificationsManager *manager, const QString &op)
{
    const QStringList parts = op.split(':');
    if (parts.at(0) == "m")
        manager->OnMessageNotification(parts.at(1));
    else
        manager->OnProgressNotification(parts.at(1), parts.at(2).toInt());
}

// How a pop-up looked when it came on screen: its text, and its percentage when it has a bar.
QString describe(const NotificationWidget *popup)
{
    if (!popup)
        return "(none)";
    return popup->isProgress() ? QString("%1 %2").arg(popup->text()).arg(popup->percent())
                               : popup->text();
}

} // namespace

class TstNotificationsManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void withoutHostOnlyLogs();
    void queue_data();
    void queue();
    void progressOnScreenUpdatesInPlace();
    void endlessProgressAnimates();
    void fadesInThenOutAndGoes();
    void clickSendsPopupAway();
    void sitsInHostCornerAndFollowsResize();
    void markupIsShownAsText();
    void newHostDropsWaitingPopups();
    void hostClosedWhilePopupShows();
    void registrationFollowsLifetime();

private:
    NotificationsManager *m_manager = NotificationsManager::instance();
    QWidget *m_host = nullptr;
};

void TstNotificationsManager::init()
{
    m_host = new QWidget;
    m_host->resize(800, 600);
    m_host->show();
    m_manager->setTimings(kQuickDisplayMs, kQuickFadeMs);
    m_manager->setHost(m_host);
}

void TstNotificationsManager::cleanup()
{
    m_manager->setHost(nullptr);
    delete m_host;
    m_host = nullptr;
}

void TstNotificationsManager::withoutHostOnlyLogs()
{
    m_manager->setHost(nullptr);
    QSignalSpy shown(m_manager, &NotificationsManager::messageShown);
    QSignalSpy popups(m_manager, &NotificationsManager::popupShown);
    m_manager->OnMessageNotification("Timeout");
    m_manager->OnProgressNotification("Reading", 10);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(m_manager->lastMessage(), QString("Timeout"));
    QCOMPARE(popups.count(), 0);
    QVERIFY(!m_manager->currentPopup());
    QCOMPARE(m_manager->queuedCount(), 0);
}

void TstNotificationsManager::queue_data()
{
    QTest::addColumn<QStringList>("ops");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("messages keep their order") << QStringList{"m:First", "m:A", "m:B"}
                                               << QStringList{"First", "A", "B"};
    QTest::newRow("one job's progress merges while waiting")
            << QStringList{"m:First", "p:Job:10", "p:Job:60", "m:A"} << QStringList{"First", "Job 60", "A"};
    QTest::newRow("different jobs wait apart") << QStringList{"m:First", "p:J1:5", "p:J2:7"}
                                               << QStringList{"First", "J1 5", "J2 7"};
    QTest::newRow("no figure gives the endless bar") << QStringList{"m:First", "p:Job:-1"}
                                                     << QStringList{"First", "Job -1"};
    QTest::newRow("any negative means no figure") << QStringList{"m:First", "p:Job:-40"}
                                                  << QStringList{"First", "Job -1"};
    QTest::newRow("percent above 100 is clamped") << QStringList{"m:First", "p:Job:150"}
                                                  << QStringList{"First", "Job 100"};
    QTest::newRow("message named like a job waits apart") << QStringList{"m:First", "p:Job:5", "m:Job"}
                                                          << QStringList{"First", "Job 5", "Job"};
    QTest::newRow("same message twice shows twice") << QStringList{"m:First", "m:A", "m:A"}
                                                    << QStringList{"First", "A", "A"};

    QStringList flood{"m:First"};
    QStringList kept{"First"};
    const int extra = 5;
    for (int i = 0; i < NotificationsManager::kMaxQueued + extra; ++i) {
        flood << QString("m:M%1").arg(i);
        if (i >= extra)
            kept << QString("M%1").arg(i);
    }
    QTest::newRow("a flood keeps the newest") << flood << kept;
}

void TstNotificationsManager::queue()
{
    QFETCH(QStringList, ops);
    QFETCH(QStringList, shown);

    QStringList seen;
    connect(m_manager, &NotificationsManager::popupShown, this,
            [this, &seen]() { seen << describe(m_manager->currentPopup()); });
    QSignalSpy hidden(m_manager, &NotificationsManager::popupHidden);
    for (const QString &op : qAsConst(ops))
        post(m_manager, op);
    QVERIFY2(m_manager->queuedCount() <= NotificationsManager::kMaxQueued, "the queue is bounded");

    QTRY_COMPARE_WITH_TIMEOUT(hidden.count(), shown.size(), 20000);
    disconnect(m_manager, &NotificationsManager::popupShown, this, nullptr);
    QCOMPARE(seen, shown);
    QVERIFY(!m_manager->currentPopup());
    QCOMPARE(m_manager->queuedCount(), 0);
}

void TstNotificationsManager::progressOnScreenUpdatesInPlace()
{
    m_manager->setTimings(kLongDisplayMs, 0);
    QSignalSpy popups(m_manager, &NotificationsManager::popupShown);
    QSignalSpy progress(m_manager, &NotificationsManager::progressShown);
    m_manager->OnProgressNotification("Converting", 10);
    QPointer<NotificationWidget> popup = m_manager->currentPopup();
    QVERIFY(popup);
    m_manager->OnProgressNotification("Converting", 55);
    m_manager->OnProgressNotification("Converting", 100);
    QCOMPARE(progress.count(), 3);
    QCOMPARE(popups.count(), 1);
    QCOMPARE(m_manager->currentPopup(), popup.data());
    QCOMPARE(popup->percent(), 100);
    QCOMPARE(m_manager->queuedCount(), 0);

    m_manager->OnMessageNotification("Done");
    QCOMPARE(m_manager->queuedCount(), 1);
    m_manager->OnNotificationHidden();
    QCOMPARE(popups.count(), 2);
    QCOMPARE(describe(m_manager->currentPopup()), QString("Done"));
    QTRY_VERIFY2(!popup, "the old pop-up is deleted");
}

void TstNotificationsManager::endlessProgressAnimates()
{
    m_manager->setTimings(kLongDisplayMs, 0);
    m_manager->OnProgressNotification("Searching", -1);
    NotificationWidget *popup = m_manager->currentPopup();
    QVERIFY(popup);
    QVERIFY(popup->isEndless());
    auto *bar = popup->findChild<EndlessProgressBar *>();
    QVERIFY(bar);
    QVERIFY(bar->isVisible());
    QVERIFY(bar->isRunning());
    QTRY_VERIFY2(bar->blockOffset() > 0, "the block moves");

    m_manager->OnProgressNotification("Searching", 30);
    QVERIFY(!popup->isEndless());
    QVERIFY2(!bar->isRunning(), "a hidden endless bar stops");
}

void TstNotificationsManager::fadesInThenOutAndGoes()
{
    m_manager->setTimings(300, 100);
    QSignalSpy hidden(m_manager, &NotificationsManager::popupHidden);
    m_manager->OnMessageNotification("Device connected");
    QPointer<NotificationWidget> popup = m_manager->currentPopup();
    QVERIFY(popup);
    QVERIFY(popup->isVisible());
    QVERIFY2(popup->opacity() < 1.0, "starts transparent");
    QTRY_COMPARE(popup->opacity(), 1.0);
    QTRY_VERIFY(popup->isFading());
    QTRY_COMPARE(hidden.count(), 1);
    QTRY_VERIFY2(!popup, "deleted once hidden");
}

void TstNotificationsManager::clickSendsPopupAway()
{
    m_manager->setTimings(kLongDisplayMs, 0);
    QSignalSpy hidden(m_manager, &NotificationsManager::popupHidden);
    m_manager->OnMessageNotification("Device was removed");
    m_manager->OnMessageNotification("Next");
    NotificationWidget *popup = m_manager->currentPopup();
    QVERIFY(popup);
    QTest::mouseClick(popup, Qt::LeftButton);
    QCOMPARE(hidden.count(), 1);
    QCOMPARE(describe(m_manager->currentPopup()), QString("Next"));
}

void TstNotificationsManager::sitsInHostCornerAndFollowsResize()
{
    m_manager->setTimings(kLongDisplayMs, 0);
    m_manager->OnMessageNotification("Device connected");
    NotificationWidget *popup = m_manager->currentPopup();
    QVERIFY(popup);
    QCOMPARE(popup->parentWidget(), m_host);
    QVERIFY2(m_host->rect().contains(popup->geometry()), "inside the host");
    QVERIFY2(popup->geometry().right() > m_host->width() / 2, "on the right");
    QVERIFY2(popup->geometry().bottom() > m_host->height() / 2, "at the bottom");

    m_host->resize(1000, 700);
    QTRY_VERIFY(popup->geometry().bottom() > 600);
    QVERIFY(m_host->rect().contains(popup->geometry()));
    QVERIFY(popup->geometry().right() > 800);

    m_host->resize(100, 50);
    QTRY_COMPARE(popup->pos(), QPoint(0, 0));
}

void TstNotificationsManager::markupIsShownAsText()
{
    m_manager->setTimings(kLongDisplayMs, 0);
    m_manager->OnMessageNotification("<b>/dev/ttyACM0</b>");
    NotificationWidget *popup = m_manager->currentPopup();
    QVERIFY(popup);
    const QLabel *label = popup->findChild<QLabel *>();
    QVERIFY(label);
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->text(), QString("<b>/dev/ttyACM0</b>"));
}

void TstNotificationsManager::newHostDropsWaitingPopups()
{
    m_manager->setTimings(kLongDisplayMs, 0);
    m_manager->OnMessageNotification("A");
    m_manager->OnMessageNotification("B");
    QPointer<NotificationWidget> popup = m_manager->currentPopup();
    QWidget other;
    other.resize(400, 300);
    other.show();
    m_manager->setHost(&other);
    QVERIFY(!popup);
    QCOMPARE(m_manager->queuedCount(), 0);
    m_manager->OnMessageNotification("C");
    QVERIFY(m_manager->currentPopup());
    QCOMPARE(m_manager->currentPopup()->parentWidget(), &other);
    m_manager->setHost(nullptr);
}

void TstNotificationsManager::hostClosedWhilePopupShows()
{
    m_manager->setTimings(kLongDisplayMs, 0);
    m_manager->OnMessageNotification("A");
    m_manager->OnMessageNotification("B");
    delete m_host;
    m_host = nullptr;
    QVERIFY(!m_manager->host());
    QVERIFY(!m_manager->currentPopup());
    m_manager->OnNotificationHidden();
    m_manager->OnMessageNotification("C");
    QVERIFY(!m_manager->currentPopup());
    QCOMPARE(m_manager->lastMessage(), QString("C"));
}

void TstNotificationsManager::registrationFollowsLifetime()
{
    auto *source = new QObject;
    m_manager->registerObject(source);
    m_manager->registerObject(source);
    m_manager->registerObject(nullptr);
    QVERIFY(m_manager->isRegistered(source));
    m_manager->unregisterObject(source);
    QVERIFY(!m_manager->isRegistered(source));
    m_manager->registerObject(source);
    delete source;
    QVERIFY2(!m_manager->isRegistered(source), "a destroyed object leaves the list");
}

QTEST_MAIN(TstNotificationsManager)
#include "tst_notificationsmanager.moc"

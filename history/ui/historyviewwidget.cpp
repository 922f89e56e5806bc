#include "history/ui/historyviewwidget.h"

#include "app/applicationsettings.h"
#include "app/notificationsmanager.h"
#include "charts/framehystogram.h"
#include "device/commandhandle.h"
#include "device/device.h"
#include "history/csvconverter.h"
#include "history/historyconverter.h"
#include "history/historyerase.h"
#include "history/historyformat.h"
#include "history/provenance.h"
#include "history/ui/searchwidget.h"
#include "history/sqlreader.h"
#include "link/logging.h"

#include "ui_historyviewwidget.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

QRgb histogramColour()
{
    return qRgb(0x00, 0xAA, 0x00);
}

// The program's settings store; where start-up made none (tools), the default store.
QVariant setting(const char *key, const QVariant &fallback = QVariant())
{
    if (QSettings *settings = ApplicationSettings::instance()->settings())
        return settings->value(QLatin1String(key), fallback);
    return QSettings().value(QLatin1String(key), fallback);
}

void storeSetting(const char *key, const QVariant &value)
{
    if (QSettings *settings = ApplicationSettings::instance()->settings())
        settings->setValue(QLatin1String(key), value);
    else
        QSettings().setValue(QLatin1String(key), value);
}

} // namespace

HistoryViewWidget::HistoryViewWidget(bool historyMode, QWidget *parent)
    : DevicePanel(parent)
    , ui(std::make_unique<Ui::HistoryViewWidget>())
    , m_historyMode(historyMode)
{
    ui->setupUi(this);
    ui->header->setVisible(m_historyMode);

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("historyToolBar"));
    m_toolBar->setIconSize(QSize(24, 24));
    ui->verticalLayout->insertWidget(1, m_toolBar);

    QActionGroup *device = addGroup(DeviceActions);
    addToolAction(device, QStringLiteral("readHistoryAction"), tr("Read history from device."),
                  QStringLiteral(":/images/download.png"),
                  &HistoryViewWidget::OnReadHistoryClicked);
    addToolAction(device, QStringLiteral("removeHistoryAction"), tr("Remove history from device."),
                  QStringLiteral(":/images/remove_history.png"),
                  &HistoryViewWidget::OnRemoveHistoryClicked);
    m_toolBar->addSeparator();
    QActionGroup *open = addGroup(OpenActions);
    addToolAction(open, QStringLiteral("openHistoryAction"), tr("Open history from local storage."),
                  QStringLiteral(":/images/open_history.png"),
                  &HistoryViewWidget::OnOpenHistoryFileButtonClicked);
    m_toolBar->addSeparator();
    QActionGroup *exporting = addGroup(ExportActions);
    addToolAction(exporting, QStringLiteral("exportCsvAction"), tr("Export data to CSV."),
                  QStringLiteral(":/images/csv_export.png"),
                  &HistoryViewWidget::OnExportCSVClicked);
    addToolAction(exporting, QStringLiteral("historyInfoAction"), tr("Where this history came from."),
                  QStringLiteral(":/images/info.png"), &HistoryViewWidget::OnHistoryInfoClicked);
    m_toolBar->addSeparator();
    QActionGroup *filter = addGroup(FilterActions);
    m_filterAction = addToolAction(
        filter, QStringLiteral("filterHistoryAction"), tr("Open history filter toolbox."),
        QStringLiteral(":/images/filter_history.png"), &HistoryViewWidget::OnSearchClicked);
    m_toolBar->addSeparator();

    setActionsEnabled(AllActions, false);
    setActionsEnabled(OpenActions, true);
    if (!m_historyMode)
        setActionsEnabled(DeviceActions, true);

    m_histogram = new FrameHystogram(ui->chartFrame);
    m_histogram->setLevels(histogramColour(), {});
    auto *chartLayout = new QVBoxLayout(ui->chartFrame);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addWidget(m_histogram);

    m_searchWidget = new SearchWidget(this);
    m_searchWidget->hide();
    connect(m_searchWidget, &SearchWidget::searchActivated, this,
            &HistoryViewWidget::searchActivated);

    m_reader = new SQLReader(QString(), this);
    // The chart walks its points in time order; the reader's thread puts them so.
    m_reader->setSortByTime(true);
    connect(m_reader, &QThread::finished, this, &HistoryViewWidget::readComplete);
    connect(m_reader, &SQLReader::progress, this, &HistoryViewWidget::progress);

    NotificationsManager::instance()->registerObject(this);
}

HistoryViewWidget::~HistoryViewWidget()
{
    NotificationsManager::instance()->unregisterObject(this);
    // Closing the window stops the work under way (a conversion leaves no history behind, an
    // export no file) rather than keeping the program alive until it is done.
    const QList<QThread *> workers = findChildren<QThread *>(QString(), Qt::FindDirectChildrenOnly);
    for (QThread *worker : workers) {
        disconnect(worker, nullptr, this, nullptr);
        if (auto *converter = qobject_cast<HistoryConverter *>(worker))
            converter->cancel();
        else if (auto *reader = qobject_cast<SQLReader *>(worker))
            reader->cancel();
        else if (auto *exporter = qobject_cast<CsvConverter *>(worker))
            exporter->cancel();
    }
    for (QThread *worker : workers)
        worker->wait();
    delete m_reader;
    delete m_histogram;
    delete m_searchWidget;
}

QActionGroup *HistoryViewWidget::addGroup(int mask)
{
    auto *group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    m_groups.append({ mask, group });
    return group;
}

QAction *HistoryViewWidget::addToolAction(QActionGroup *group, const QString &objectName,
                                          const QString &text, const QString &icon,
                                          void (HistoryViewWidget::*slot)())
{
    auto *action = new QAction(QIcon(icon), text, group);
    action->setObjectName(objectName);
    action->setToolTip(text);
    connect(action, &QAction::triggered, this, slot);
    m_toolBar->addAction(action);
    return action;
}

int HistoryViewWidget::enabledActions() const
{
    int mask = 0;
    for (const auto &group : m_groups) {
        if (group.second->isEnabled())
            mask |= group.first;
    }
    return mask;
}

QAction *HistoryViewWidget::action(const QString &objectName) const
{
    for (const auto &group : m_groups) {
        const QList<QAction *> actions = group.second->actions();
        for (QAction *a : actions) {
            if (a->objectName() == objectName)
                return a;
        }
    }
    return nullptr;
}

void HistoryViewWidget::setActionsEnabled(int mask, bool enabled)
{
    for (const auto &group : m_groups) {
        if (mask & group.first)
            group.second->setEnabled(enabled);
    }
}

void HistoryViewWidget::restoreActions(int mask)
{
    setActionsEnabled(AllActions, false);
    if (m_historyMode)
        mask &= ~DeviceActions;
    setActionsEnabled(mask, true);
}

// Device side -------------------------------------------------------------------------------

void HistoryViewWidget::deviceChanged()
{
    abandonDeviceWork();
}

void HistoryViewWidget::deviceCleared()
{
    abandonDeviceWork();
}

void HistoryViewWidget::abandonDeviceWork()
{
    // Whatever was under way belonged to the previous device: its answers no longer reach us.
    m_removing = false;
    m_lastDownload = HistoryDownload::Verification();
    if (m_erase) {
        disconnect(m_erase, nullptr, this, nullptr);
        m_erase->deleteLater();
        m_erase = nullptr;
    }
    if (m_download && m_download->state() != HistoryDownload::State::Converting) {
        // Quietly: the device went, there is nothing to tell.
        HistoryDownload *download = m_download;
        m_download = nullptr;
        disconnect(download, nullptr, this, nullptr);
        download->cancel();
        download->deleteLater();
    }

    m_histogram->clear();
    // A conversion or a database read under way enables the actions when it is over.
    if (m_download || m_reader->isRunning())
        return;
    // The display was cleared, so there is nothing left to filter or export.
    restoreActions(DeviceActions | OpenActions);
}

void HistoryViewWidget::deviceDataUpdated(int)
{
    // The page follows its own commands through their handles.
}

void HistoryViewWidget::OnReadHistoryClicked()
{
    if (!device() || m_download)
        return;
    m_actionsBeforeRead = enabledActions();
    setActionsEnabled(AllActions, false);
    m_localFile = false;
    m_search = false;
    auto *download = new HistoryDownload(device(), this);
    m_download = download;
    connect(download, &HistoryDownload::finished, this, &HistoryViewWidget::OnDownloadFinished);
    connect(download, &HistoryDownload::progress, this, &HistoryViewWidget::OnDownloadProgress);
    connect(download, &HistoryDownload::stateChanged, this, [this, download](HistoryDownload::State state) {
        if (download == m_download && state == HistoryDownload::State::Converting)
            showProgressDialog(tr("History parsing"));
    });
    download->start();
}

void HistoryViewWidget::OnDownloadProgress(const QString &text, int percent)
{
    // The file reads report through the device's own progress; the conversion through ours.
    if (m_download && m_download->state() == HistoryDownload::State::Converting)
        progress(text, percent);
}

void HistoryViewWidget::OnDownloadFinished(HistoryDownload::Error error)
{
    auto *download = qobject_cast<HistoryDownload *>(sender());
    if (!download || download != m_download)
        return;
    m_lastDownload = download->verification();
    if (error != HistoryDownload::Error::None) {
        VWARN << "History read failed: " << download->errorString();
        m_download = nullptr;
        download->deleteLater();
        hideProgressDialog();
        if (error == HistoryDownload::Error::Canceled) {
            // Stopped by the user: nothing was written and the statistics files stay for another try.
            restoreActions(m_actionsBeforeRead | OpenActions);
            return;
        }
        // A local failure (a full disk, a read-only folder) names itself; the device is not to blame.
        readFailed(error == HistoryDownload::Error::Save || error == HistoryDownload::Error::Folder
                           ? download->errorString()
                           : QString());
        return;
    }
    convertComplete();
}

void HistoryViewWidget::readFailed(const QString &localReason)
{
    restoreActions(m_actionsBeforeRead);
    QMessageBox::critical(
        this, tr("Reading history"),
        localReason.isEmpty() ? tr("Reading the history from the device failed\nbecause a file is lost or corrupted.")
                              : localReason);
}

// Conversion and database reads ------------------------------------------------------------

void HistoryViewWidget::convertComplete()
{
    setActionsEnabled(OpenActions, true);
    if (!m_historyMode)
        setActionsEnabled(DeviceActions, true);
    HistoryDownload *download = m_download;
    if (!download)
        return;
    m_download = nullptr;
    download->deleteLater();
    hideProgressDialog();
    setActionsEnabled(OpenActions | ExportActions, true);
    m_currentDatabase = download->databasePath();
    m_searchWidget->setTimes(download->startTime(), download->endTime());
    VLOG << "HistoryConverter complete";
    const int repeatedHourLosses = download->repeatedHourLosses();
    if (repeatedHourLosses > 0) {
        // Not modal: the history loads meanwhile.
        auto *box = new QMessageBox(QMessageBox::Information, tr("Reading history"),
                                    HistoryConverter::repeatedHourText(repeatedHourLosses),
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("repeatedHourMessage"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    readDatabase(m_currentDatabase);
}

void HistoryViewWidget::readDatabase(const QString &path)
{
    if (m_reader->isRunning())
        return;
    setActionsEnabled(AllActions, false);
    m_reader->setFileName(path);
    showProgressDialog(tr("Loading"));
    m_reader->start();
}

void HistoryViewWidget::openHistory(const QString &path)
{
    m_localFile = true;
    m_currentDatabase = path;
    readDatabase(m_currentDatabase);
}

void HistoryViewWidget::cancelWork()
{
    if (m_download)
        m_download->cancel();
    if (m_reader->isRunning())
        m_reader->cancel();
}

void HistoryViewWidget::showProgressDialog(const QString &text)
{
    if (!m_progressDialog) {
        m_progressDialog = new QProgressDialog(this);
        m_progressDialog->setObjectName(QStringLiteral("historyProgressDialog"));
        m_progressDialog->setWindowTitle(tr("History"));
        // Not modal: the page's actions are off while the work runs, and message boxes that
        // come meanwhile must stay the modal window.
        m_progressDialog->setWindowModality(Qt::NonModal);
        m_progressDialog->setAutoClose(false);
        m_progressDialog->setAutoReset(false);
        // Short work finishes before the window would appear.
        m_progressDialog->setMinimumDuration(500);
        connect(m_progressDialog, &QProgressDialog::canceled, this, &HistoryViewWidget::cancelWork);
    }
    m_progressDialog->reset();
    m_progressDialog->setLabelText(text);
    m_progressDialog->setRange(0, 0);
    m_progressDialog->setValue(0);
}

void HistoryViewWidget::hideProgressDialog()
{
    if (m_progressDialog) {
        m_progressDialog->reset();
        m_progressDialog->hide();
    }
}

void HistoryViewWidget::readComplete()
{
    setActionsEnabled(OpenActions, true);
    if (!m_historyMode)
        setActionsEnabled(DeviceActions, true);

    hideProgressDialog();
    if (m_reader->wasCancelled()) {
        m_search = false;
        m_histogram->clear();
        VLOG << "History read cancelled";
        return;
    }

    if (m_reader->error()) {
        m_search = false;
        m_histogram->clear();
        QMessageBox::warning(this, tr("File format error"),
                             tr("Can't read history from the specified file."));
        return;
    }

    // Flat and already in time order: handing it over costs no walk over the records here,
    // so a history of millions leaves the window responsive.
    const HistoryRecords records = m_reader->records();
    QDateTime first;
    QDateTime last;
    int firstValid = 0;
    while (firstValid < records.size() && records.times.at(firstValid) == HistoryFormat::kNoTime)
        ++firstValid;
    if (firstValid < records.size()) {
        first = records.time(firstValid);
        last = records.time(records.size() - 1);
    }
    m_histogram->clear();
    if (!records.isEmpty())
        m_histogram->setData(records.times, records.values);
    setActionsEnabled(ExportActions | FilterActions, true);
    VLOG << "History shown: " << records.size() << " records";

    if (m_search) {
        m_search = false;
        return;
    }
    if (first.isValid()) {
        m_searchWidget->setRange(first, last);
        m_searchWidget->setTimes(first, last);
    }
}

void HistoryViewWidget::progress(const QString &text, int percent)
{
    NotificationsManager::instance()->OnProgressNotification(text, percent);
    if (m_progressDialog && !m_progressDialog->wasCanceled()
        && (sender() == m_download || sender() == m_reader)) {
        m_progressDialog->setLabelText(text);
        if (percent < 0) {
            m_progressDialog->setRange(0, 0);
        } else {
            m_progressDialog->setRange(0, 100);
            m_progressDialog->setValue(qMin(percent, 99));
        }
    }
}

// User actions -------------------------------------------------------------------------------

void HistoryViewWidget::OnOpenHistoryFileButtonClicked()
{
    QString folder = setting(kHistoryDirKey).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = HistoryFormat::dataDirectory();
    const QString filter = tr("History files") + QStringLiteral(" (")
        + HistoryFormat::kHistoryFilter + QStringLiteral(")");
    QFileDialog dialog(this, tr("Open history"), folder, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return;
    const QFileInfo chosen(files.first());
    storeSetting(kHistoryDirKey, chosen.absolutePath());
    openHistory(chosen.absoluteFilePath());
}

void HistoryViewWidget::OnSearchClicked()
{
    QWidget *button = m_toolBar->widgetForAction(m_filterAction);
    if (button) {
        // Directly below the square tool button.
        QPoint corner = button->mapToGlobal(QPoint(0, 0));
        corner.ry() += button->width();
        m_searchWidget->move(corner);
    }
    if (!m_searchWidget->isVisible())
        m_searchWidget->show();
}

void HistoryViewWidget::searchActivated()
{
    // Never a database read beside a conversion; the pop-up may still be open.
    if (m_download)
        return;
    m_search = true;
    m_reader->setStart(m_searchWidget->initialTime());
    m_reader->setEnd(m_searchWidget->endTime());
    if (m_searchWidget->isAdvancedSearch())
        m_reader->setValueFilter(m_searchWidget->condition(), m_searchWidget->value());
    readDatabase(m_currentDatabase);
}

void HistoryViewWidget::OnExportCSVClicked()
{
    if (m_reader->records().isEmpty()) {
        QMessageBox::information(this, tr("No data"), tr("There is no data to export."));
        return;
    }
    const QString folder = setting(kCsvExportDirKey, QDir::homePath()).toString();
    QFileDialog dialog(this, tr("Export CSV..."), folder, tr("CSV (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without a suffix gets ".csv", and the dialog's overwrite question then
    // covers the file that will really be written.
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return;
    const QString target = CsvConverter::outputFileName(files.first());
    if (target != files.first() && QFileInfo::exists(target)) {
        // A dialog that did not add the suffix itself asked about another name.
        const auto answer = QMessageBox::question(
            this, tr("Export CSV..."),
            tr("%1 already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(target)));
        if (answer != QMessageBox::Yes)
            return;
    }
    storeSetting(kCsvExportDirKey, dialog.directory().absolutePath());
    // The rows come from the database with the filters of what is shown, as they are written.
    auto *exporter = new CsvConverter(target, m_currentDatabase, this);
    exporter->setFilter(m_reader->startTime(), m_reader->endTime(), m_reader->comparison(),
                        m_reader->value());
    connect(exporter, &QThread::finished, this, [this, exporter]() { exportFinished(exporter); });
    connect(exporter, &CsvConverter::progress, this, &HistoryViewWidget::progress);
    exporter->start();
}

void HistoryViewWidget::exportFinished(CsvConverter *exporter)
{
    exporter->deleteLater();
    if (exporter->succeeded() || exporter->wasCancelled())
        return;
    VWARN << "CSV export failed: \"" << exporter->outputPath() << "\": " << exporter->errorString();
    // Not modal: the page goes on, and no nested event loop runs inside this slot.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Export CSV..."),
                                tr("Could not write %1:\n%2")
                                    .arg(QDir::toNativeSeparators(exporter->outputPath()),
                                         exporter->errorString()),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("exportFailedMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void HistoryViewWidget::OnRemoveHistoryClicked()
{
    QMessageBox question(QMessageBox::Question, tr("Delete history?"),
                         tr("Delete the history from the device?\nIt cannot be restored afterwards."),
                         QMessageBox::NoButton, this);
    QPushButton *remove = question.addButton(tr("Delete"), QMessageBox::YesRole);
    remove->setObjectName(QStringLiteral("okButton"));
    QPushButton *cancel = question.addButton(tr("Cancel"), QMessageBox::NoRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    question.setDefaultButton(cancel);
    question.exec();
    if (question.clickedButton() != remove)
        return;

    m_removing = true;
    removeHistory();
}

void HistoryViewWidget::removeHistory()
{
    if (!device()) {
        m_removing = false;
        QMessageBox::warning(this, tr("Removing history"),
                             tr("Please, connect the device to perform this operation."));
        return;
    }
    // Only behind a verified download of exactly the files the monitor holds now.
    auto *erase = new HistoryErase(device(), m_lastDownload, this);
    m_erase = erase;
    connect(erase, &HistoryErase::finished, this, &HistoryViewWidget::OnEraseFinished);
    erase->start();
}

void HistoryViewWidget::OnEraseFinished(bool removed)
{
    auto *erase = qobject_cast<HistoryErase *>(sender());
    if (!erase || erase != m_erase)
        return;
    m_erase = nullptr;
    erase->deleteLater();
    if (removed || erase->failedCode() >= 0) {
        // What is on the monitor now was never downloaded.
        if (removed)
            m_lastDownload = HistoryDownload::Verification();
        removeFinished(removed);
        return;
    }
    m_removing = false;
    QMessageBox::warning(this, tr("Removing history"),
                         tr("History was not removed from the device: %1.").arg(erase->reason()));
}

void HistoryViewWidget::removeFinished(bool removed)
{
    m_removing = false;
    if (removed) {
        QMessageBox::information(this, tr("Removing history"),
                                 tr("The history was removed from the device."));
    } else {
        QMessageBox::critical(this, tr("Removing history"),
                              tr("The history was not removed because the file on the device is "
                                 "protected or corrupted."));
    }
}

void HistoryViewWidget::OnHistoryInfoClicked()
{
    if (m_currentDatabase.isEmpty())
        return;
    Provenance::Entries entries;
    QString error;
    QString text;
    if (!Provenance::read(m_currentDatabase, &entries, &error)) {
        text = tr("The history cannot be read: %1").arg(error);
    } else if (entries.isEmpty()) {
        text = tr("This history was written without a record of where it came from.");
    } else {
        QStringList lines;
        for (const auto &entry : qAsConst(entries))
            lines << entry.first + QStringLiteral(": ") + entry.second;
        text = lines.join(QLatin1Char('\n'));
    }
    QMessageBox box(QMessageBox::Information, tr("History provenance"),
                    QFileInfo(m_currentDatabase).fileName() + QStringLiteral("\n\n") + text,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("provenanceMessage"));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

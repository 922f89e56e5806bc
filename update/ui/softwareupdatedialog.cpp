#include "update/ui/softwareupdatedialog.h"

#include "ui_softwareupdatedialog.h"

#include "link/logging.h"
#include "update/ui/downloadframe.h"
#include "update/ui/unifiedframe.h"
#include "update/ui/updateconfirmationframe.h"
#include "update/updatemanager.h"
#include "update/versioncompare.h"
#include "update/ui/versionsearchframe.h"

#include <QDir>

SoftwareUpdateDialog::SoftwareUpdateDialog(const QString &product, const QString &platform,
                                           const QString &currentVersion, QWidget *parent,
                                           const QString &kind)
    : QDialog(parent)
    , ui(new Ui::SoftwareUpdateDialog)
    , m_manager(new UpdateManager(this))
    , m_searchFrame(new VersionSearchFrame)
    , m_confirmationFrame(new UpdateConfirmationFrame)
    , m_downloadFrame(new DownloadFrame)
    , m_unifiedFrame(new UnifiedFrame)
    , m_product(product)
    , m_platform(platform)
    , m_currentVersion(currentVersion)
    , m_kind(kind)
{
    ui->setupUi(this);
    ui->pagesStackedWidget->addWidget(m_searchFrame);
    ui->pagesStackedWidget->addWidget(m_confirmationFrame);
    ui->pagesStackedWidget->addWidget(m_downloadFrame);
    ui->pagesStackedWidget->addWidget(m_unifiedFrame);
    ui->pagesStackedWidget->setCurrentWidget(m_searchFrame);

    connect(m_manager, &UpdateManager::Done, this, &SoftwareUpdateDialog::OnManagerDone);
    connect(m_manager, &UpdateManager::Fail, this, &SoftwareUpdateDialog::OnManagerFail);
    connect(m_manager, &UpdateManager::FileStarted, m_downloadFrame, &DownloadFrame::OnFileStarted);
    connect(m_manager, &UpdateManager::Progress, m_downloadFrame, &DownloadFrame::OnProgress);
    connect(m_searchFrame, &VersionSearchFrame::canceled, this, &SoftwareUpdateDialog::OnCanceled);
    connect(m_confirmationFrame, &UpdateConfirmationFrame::canceled, this,
            &SoftwareUpdateDialog::OnCanceled);
    connect(m_confirmationFrame, &UpdateConfirmationFrame::confirmed, this,
            &SoftwareUpdateDialog::OnDownloadConfirmed);
    connect(m_downloadFrame, &DownloadFrame::canceled, this, &SoftwareUpdateDialog::OnCanceled);
    connect(m_unifiedFrame, &UnifiedFrame::closed, this, &SoftwareUpdateDialog::OnEndingClosed);
}

SoftwareUpdateDialog::~SoftwareUpdateDialog()
{
    delete ui;
}

QStringList SoftwareUpdateDialog::downloadedFiles() const
{
    return m_downloadReady ? m_manager->downloadedFiles() : QStringList();
}

QList<UpdateFile> SoftwareUpdateDialog::downloadedFileDetails() const
{
    return m_downloadReady ? m_manager->downloadedFileDetails() : QList<UpdateFile>();
}

QWidget *SoftwareUpdateDialog::currentFrame() const
{
    return ui->pagesStackedWidget->currentWidget();
}

// The search starts when the dialog appears, so a caller may still point the client elsewhere.
void SoftwareUpdateDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_state == State::Idle)
        startSearch();
}

void SoftwareUpdateDialog::startSearch()
{
    m_state = State::Searching;
    ui->pagesStackedWidget->setCurrentWidget(m_searchFrame);
    VLOG << "Searching updates for product " << m_product << " platform " << m_platform
         << " version " << m_currentVersion;
    if (!m_manager->requestReleases(m_product, m_platform, m_kind))
        end(Ending::Failure, tr("Another update request is still running."));
}

void SoftwareUpdateDialog::OnManagerDone()
{
    if (m_state == State::Searching) {
        const UpdateRelease newest = m_manager->newestRelease();
        m_latestVersion = newest.version;
        if (newest.id.isEmpty() || !varno::isVersionOlder(m_currentVersion, newest.version)) {
            end(Ending::UpToDate,
                tr("You have the latest version (%1). No update is needed.").arg(m_currentVersion));
            return;
        }
        m_releaseId = newest.id;
        m_state = State::Confirming;
        m_confirmationFrame->setVersions(m_currentVersion, newest.version);
        ui->pagesStackedWidget->setCurrentWidget(m_confirmationFrame);
        return;
    }
    if (m_state == State::Downloading) {
        m_downloadReady = !m_manager->downloadedFiles().isEmpty();
        end(Ending::Success,
            tr("Version %1 was downloaded to %2.")
                .arg(m_latestVersion, QDir::toNativeSeparators(UpdateManager::updatesDirectory())));
    }
}

void SoftwareUpdateDialog::OnManagerFail()
{
    if (m_state != State::Searching && m_state != State::Downloading)
        return;
    const QString reason = m_manager->errorString();
    if (m_manager->error() == UpdateManager::Error::Unreachable) {
        end(Ending::ServerUnreachable,
            tr("The update server cannot be reached. Check the network connection and the proxy "
               "settings, then try again.\n\n%1")
                .arg(reason));
        return;
    }
    end(Ending::Failure,
        m_state == State::Searching
            ? tr("The search for updates failed.\n\n%1").arg(reason)
            : tr("The download failed; nothing was installed.\n\n%1").arg(reason));
}

void SoftwareUpdateDialog::OnDownloadConfirmed()
{
    if (m_state != State::Confirming)
        return;
    m_state = State::Downloading;
    ui->pagesStackedWidget->setCurrentWidget(m_downloadFrame);
    if (!m_manager->downloadRelease(m_releaseId))
        end(Ending::Failure, tr("The download could not be started."));
}

void SoftwareUpdateDialog::OnCanceled()
{
    reject();
}

void SoftwareUpdateDialog::reject()
{
    // Escape, the window's close button and every Cancel come here: stop the transfer so no
    // half-written file stays behind.
    m_state = State::Ended;
    m_downloadReady = false;
    m_manager->cancel();
    QDialog::reject();
}

void SoftwareUpdateDialog::OnEndingClosed()
{
    if (m_ending == Ending::Success && m_downloadReady)
        accept();
    else
        reject();
}

void SoftwareUpdateDialog::end(Ending ending, const QString &text)
{
    m_state = State::Ended;
    m_ending = ending;
    QString title;
    switch (ending) {
    case Ending::UpToDate:
        title = tr("Up to date");
        break;
    case Ending::Success:
        title = tr("Success");
        break;
    case Ending::ServerUnreachable:
        title = tr("Server unreachable");
        break;
    case Ending::Failure:
    case Ending::None:
        title = tr("Failure");
        break;
    }
    VLOG << "Software update ended: " << title;
    m_unifiedFrame->setMessage(title, text);
    ui->pagesStackedWidget->setCurrentWidget(m_unifiedFrame);
}

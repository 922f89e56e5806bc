#pragma once

#include "update/updatereplyparser.h"

#include <QDialog>
#include <QStringList>

namespace Ui {
class SoftwareUpdateDialog;
}

class DownloadFrame;
class UnifiedFrame;
class UpdateConfirmationFrame;
class UpdateManager;
class VersionSearchFrame;

// Searches the update server for a newer release of a product, asks the user, downloads it with
// progress and ends on one message. Accepted only after a complete download; the files then lie
// in UpdateManager::updatesDirectory().
class SoftwareUpdateDialog : public QDialog
{
    Q_OBJECT
public:
    enum class Ending { None, UpToDate, Success, ServerUnreachable, Failure };

    SoftwareUpdateDialog(const QString &product, const QString &platform,
                         const QString &currentVersion, QWidget *parent = nullptr,
                         const QString &kind = QStringLiteral("newest"));
    ~SoftwareUpdateDialog() override;

    bool isDownloadReady() const { return m_downloadReady; }
    QStringList downloadedFiles() const;
    // The same files with their kind, size and checksum, for the firmware upload.
    QList<UpdateFile> downloadedFileDetails() const;

    Ending ending() const { return m_ending; }
    QString latestVersion() const { return m_latestVersion; }
    UpdateManager *updateManager() const { return m_manager; }

    VersionSearchFrame *searchFrame() const { return m_searchFrame; }
    UpdateConfirmationFrame *confirmationFrame() const { return m_confirmationFrame; }
    DownloadFrame *downloadFrame() const { return m_downloadFrame; }
    UnifiedFrame *unifiedFrame() const { return m_unifiedFrame; }
    QWidget *currentFrame() const;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void OnManagerDone();
    void OnManagerFail();
    void OnDownloadConfirmed();
    void OnCanceled();
    void OnEndingClosed();

private:
    enum class State { Idle, Searching, Confirming, Downloading, Ended };

    void startSearch();
    void end(Ending ending, const QString &text);

    Ui::SoftwareUpdateDialog *ui;
    UpdateManager *m_manager;
    VersionSearchFrame *m_searchFrame;
    UpdateConfirmationFrame *m_confirmationFrame;
    DownloadFrame *m_downloadFrame;
    UnifiedFrame *m_unifiedFrame;

    QString m_product;
    QString m_platform;
    QString m_currentVersion;
    QString m_kind;
    QString m_latestVersion;
    QString m_releaseId;
    State m_state = State::Idle;
    Ending m_ending = Ending::None;
    bool m_downloadReady = false;
};

// varnoctl firmware: the newest firmware for the monitor from the update server, and its upload,
// with the stages of the program's firmware dialog.

#include "tools/varnoctl/varnoctl.h"

#include "update/firmwareupload.h"
#include "update/updatemanager.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QUrl>

namespace {

// The program's names: its settings (the "UpdateServer" key) and its updates folder are the ones
// to use, not a store of the tool's own.
void useProgramSettings()
{
    QCoreApplication::setOrganizationName(QStringLiteral("VARNO Ltd"));
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
}

} // namespace

int Ctl::exitCodeFor(int taskCode)
{
    switch (taskCode) {
    case TaskResult::TimedOut:
        return ExitTimeout;
    case TaskResult::Aborted:
        return ExitLink;
    case TaskResult::Refused:
        return ExitArgument;
    default:
        return ExitFailed;
    }
}

void Ctl::firmware()
{
    const QStringList &a = m_options.arguments;
    const QString sub = a.value(1);
    const bool upload = sub == QLatin1String("upload");
    if (a.size() != 2 || (!upload && sub != QLatin1String("check"))) {
        fail(ExitUsage, tr("usage: varnoctl [--port P] firmware check [--server URL] | "
                           "varnoctl [--port P] --password X firmware upload [--server URL] [--yes]"));
        return;
    }
    if (upload && !needPassword())
        return;
    QUrl server;
    if (!m_options.server.isEmpty()) {
        server = QUrl(m_options.server);
        if (!server.isValid()
            || (server.scheme() != QLatin1String("http") && server.scheme() != QLatin1String("https"))
            || server.host().isEmpty()) {
            fail(ExitUsage, tr("--server takes an http or https address"));
            return;
        }
    }
    useProgramSettings();
    auto *job = new FirmwareUpload(m_device, this);
    if (!server.isEmpty())
        job->setServerUrl(server);
    job->setConfirmRemoval(!m_options.yes);
    m_showProgress = upload;
    m_cancel = [job] { job->cancel(); };

    connect(job, &FirmwareUpload::progress, this, &Ctl::showProgress);
    connect(job, &FirmwareUpload::stateChanged, this, [this, job](FirmwareUpload::State state) {
        m_deadline.start();
        switch (state) {
        case FirmwareUpload::State::Searching:
            showProgress(tr("Asking the update server"), -1);
            break;
        case FirmwareUpload::State::Downloading:
            showProgress(tr("Downloading firmware %1").arg(job->newestVersion()), -1);
            break;
        case FirmwareUpload::State::Verifying:
            showProgress(tr("Verifying the downloaded files"), -1);
            break;
        case FirmwareUpload::State::Confirming: {
            QStringList names;
            const QList<FileDescriptor> files = job->filesToRemove();
            for (const FileDescriptor &file : files)
                names << file.fileName();
            if (confirm(tr("Remove %1 from the monitor and write firmware %2?")
                            .arg(names.join(QStringLiteral(", ")), job->newestVersion())))
                job->proceed();
            else
                job->cancel();
            break;
        }
        default:
            break;
        }
    });
    connect(job, &FirmwareUpload::step, this, [this, job](int index, int count) {
        const bool removing = job->state() == FirmwareUpload::State::Removing;
        const QString name = removing ? job->filesToRemove().value(index).fileName()
                                      : job->files().value(index).name;
        showProgress((removing ? tr("Removing %1 (%2 of %3)") : tr("Writing %1 (%2 of %3)"))
                         .arg(name)
                         .arg(index + 1)
                         .arg(count),
                     -1);
    });
    connect(job, &FirmwareUpload::finished, this, [this, job](FirmwareUpload::Error error) {
        const QJsonObject versions { { QStringLiteral("firmware"), job->currentVersion() },
                                     { QStringLiteral("newest"), job->newestVersion() } };
        switch (error) {
        case FirmwareUpload::Error::None: {
            QJsonObject json = versions;
            if (job->state() == FirmwareUpload::State::UpToDate) {
                json.insert(QStringLiteral("updateAvailable"), false);
                succeed(json, tr("The monitor runs the newest firmware (%1); nothing to do.")
                                  .arg(job->currentVersion()));
            } else if (job->state() == FirmwareUpload::State::Available) {
                json.insert(QStringLiteral("updateAvailable"), true);
                succeed(json, tr("Firmware %1 is available; the monitor runs %2.")
                                  .arg(job->newestVersion(), job->currentVersion()));
            } else {
                QJsonArray written;
                const QList<UpdateFile> files = job->files();
                for (const UpdateFile &file : files)
                    written.append(file.name);
                json.insert(QStringLiteral("written"), written);
                succeed(json, tr("Firmware %1 is on the monitor (%2 files written); unplug it to "
                                 "start the new firmware.")
                                  .arg(job->newestVersion())
                                  .arg(files.size()));
            }
            break;
        }
        case FirmwareUpload::Error::NoDevice:
            fail(ExitLink, tr("the monitor went away during the update"));
            break;
        case FirmwareUpload::Error::Identity:
            fail(exitCodeFor(job->failedCode()), tr("the monitor's identity could not be read"));
            break;
        case FirmwareUpload::Error::Server:
            fail(ExitFailed, tr("the update server could not be asked: %1").arg(job->detail()));
            break;
        case FirmwareUpload::Error::NoRelease:
            fail(ExitFailed, tr("the update server has no firmware for this monitor"));
            break;
        case FirmwareUpload::Error::Download:
            fail(ExitFailed, tr("the download failed; nothing was changed on the monitor: %1")
                                 .arg(job->detail()));
            break;
        case FirmwareUpload::Error::NoFiles:
            fail(ExitFailed, tr("the release has no files; nothing was changed on the monitor"));
            break;
        case FirmwareUpload::Error::BadFile:
            fail(ExitFailed, job->detail());
            break;
        case FirmwareUpload::Error::List:
            fail(exitCodeFor(job->failedCode()),
                 tr("the monitor's files could not be listed; nothing was changed on it"));
            break;
        case FirmwareUpload::Error::Remove:
            fail(exitCodeFor(job->failedCode()),
                 tr("%1 could not be removed from the monitor; the upload stopped there")
                     .arg(job->failedFile()));
            break;
        case FirmwareUpload::Error::Write:
            fail(exitCodeFor(job->failedCode()),
                 job->failedCode() == TaskResult::Refused
                     ? job->detail()
                     : tr("%1 could not be written to the monitor; the upload stopped there")
                           .arg(job->failedFile()));
            break;
        case FirmwareUpload::Error::Canceled:
            fail(ExitFailed, job->deviceTouched()
                                 ? tr("stopped; the monitor has only part of the new firmware")
                                 : tr("nothing was changed on the monitor"));
            break;
        }
    });
    if (upload)
        job->start();
    else
        job->check();
}

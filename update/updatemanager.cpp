#include "update/updatemanager.h"

#include "link/logging.h"
#include "update/versioncompare.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QSysInfo>
#include <QUrlQuery>

// The one place the update server's address is written down; a build may set its own and the
// settings may override it (see configuredServerUrl()).
#ifndef VARNO_UPDATE_SERVER_URL
#define VARNO_UPDATE_SERVER_URL "https://update.varno.example"
#endif

const char *const UpdateManager::kServerSettingsKey = "UpdateServer";

namespace {

constexpr int kMaxRedirects = 5;

bool isHttpUrl(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// No HTTP answer came at all (refused, unresolved, timed out, proxy, TLS). A reply with a status
// line, even a redirect loop or a body cut short, means the server is there but misbehaves.
bool isUnanswered(QNetworkReply *reply)
{
    return reply->error() != QNetworkReply::NoError
        && !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
}

int httpStatus(QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// A download cut off by a crash leaves QSaveFile's "<name>.XXXXXX" beside the target; the
// folder is ours, so clear them before that name is fetched again.
void removeStaleTemporaries(QDir directory, const QString &name)
{
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    const QStringList candidates
        = directory.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &candidate : candidates) {
        if (candidate.startsWith(name) && suffix.match(candidate.mid(name.size())).hasMatch()
            && directory.remove(candidate))
            VLOG << "Removed stale partial download " << candidate;
    }
}

} // namespace

UpdateManager::UpdateManager(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_serverUrl(configuredServerUrl())
{
}

UpdateManager::~UpdateManager()
{
    dropReply();
    discardPendingFiles();
}

QString UpdateManager::programPlatform()
{
    return platformName(QSysInfo::kernelType(), QSysInfo::buildCpuArchitecture());
}

QString UpdateManager::platformName(const QString &kernelType, const QString &cpuArchitecture)
{
    if (kernelType.compare(QLatin1String("winnt"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("WIN32");
    return kernelType.toUpper() + QLatin1Char('-') + cpuArchitecture;
}

QUrl UpdateManager::defaultServerUrl()
{
    return QUrl(QStringLiteral(VARNO_UPDATE_SERVER_URL));
}

QUrl UpdateManager::configuredServerUrl()
{
    QSettings settings;
    const QString text = settings.value(QLatin1String(kServerSettingsKey)).toString().trimmed();
    if (text.isEmpty())
        return defaultServerUrl();
    const QUrl url(text);
    if (!isHttpUrl(url)) {
        VWARN << "Ignoring unusable update server address " << text;
        return defaultServerUrl();
    }
    return url;
}

QString UpdateManager::updatesDirectory()
{
    return QDir::homePath() + QLatin1Char('/') + QCoreApplication::applicationName()
        + QLatin1String("/updates");
}

QStringList UpdateManager::versions() const
{
    QStringList list;
    for (const UpdateRelease &release : m_releases)
        list.append(release.version);
    return list;
}

QStringList UpdateManager::downloadedFiles() const
{
    QStringList names;
    for (const UpdateFile &file : m_downloadedFiles)
        names.append(file.name);
    return names;
}

QString UpdateManager::localPath(const QString &fileName)
{
    return updatesDirectory() + QLatin1Char('/') + fileName;
}

bool UpdateManager::verifyDownloadedFile(const UpdateFile &file, QString *error)
{
    if (!UpdateReplyParser::isSafeFileName(file.name)) {
        *error = tr("\"%1\" is not a usable file name.").arg(file.name);
        return false;
    }
    QFile local(localPath(file.name));
    const QFileInfo info(local);
    if (!info.isFile() || info.isSymLink() || !local.open(QIODevice::ReadOnly)) {
        *error = tr("The downloaded file \"%1\" cannot be read.").arg(local.fileName());
        return false;
    }
    if (file.size >= 0 && local.size() != file.size) {
        *error = tr("The downloaded file \"%1\" has changed since the download.")
                     .arg(local.fileName());
        return false;
    }
    if (!file.sha256.isEmpty()) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!hash.addData(&local) || hash.result() != file.sha256) {
            *error = tr("The checksum of \"%1\" does not match.").arg(local.fileName());
            return false;
        }
    }
    return true;
}

UpdateRelease UpdateManager::newestRelease() const
{
    const QString newest = varno::newestVersion(versions());
    for (const UpdateRelease &release : m_releases) {
        if (release.version == newest)
            return release;
    }
    return {};
}

bool UpdateManager::requestReleases(const QString &product, const QString &platform,
                                    const QString &kind)
{
    if (isBusy())
        return false;
    m_product = product;
    m_platform = platform;
    m_kind = kind;
    m_releases.clear();
    m_downloadedFiles.clear();
    m_servers.clear();
    m_serverIndex = 0;
    m_serverAnswered = false;
    m_lastServerError.clear();
    m_activeServer.clear();
    m_error = Error::None;
    m_errorString.clear();
    m_stage = Stage::Servers;
    get(endpoint(m_serverUrl, QStringLiteral("/servers.xml")));
    return true;
}

bool UpdateManager::downloadRelease(const QString &releaseId)
{
    // Files come from the server that listed the release, so a search must have succeeded first.
    if (isBusy() || !m_activeServer.isValid() || !UpdateReplyParser::isValidId(releaseId))
        return false;
    m_downloadedFiles.clear();
    m_details = {};
    m_error = Error::None;
    m_errorString.clear();
    m_stage = Stage::Details;
    get(endpoint(m_activeServer, QStringLiteral("/releases/show/id/") + releaseId));
    return true;
}

void UpdateManager::cancel()
{
    if (isBusy())
        fail(Error::Canceled, tr("The update was canceled."));
}

QUrl UpdateManager::endpoint(const QUrl &server, const QString &path) const
{
    QUrl url = server;
    QString base = url.path();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    url.setPath(base + path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

void UpdateManager::get(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    // Sizes and checksums refer to the bytes as stored, so ask for them uncompressed.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setHeader(
        QNetworkRequest::UserAgentHeader,
        QStringLiteral("VARNO Device Manager/%1").arg(QCoreApplication::applicationVersion()));
    VLOG << "Update request " << url.toString();
    m_buffer.clear();
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateManager::OnReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateManager::OnFinished);
}

void UpdateManager::askNextServer()
{
    if (m_serverIndex >= m_servers.size()) {
        fail(m_serverAnswered ? Error::BadReply : Error::Unreachable, m_lastServerError);
        return;
    }
    QUrl url = endpoint(m_servers.at(m_serverIndex), QStringLiteral("/releases"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("product"), m_product);
    query.addQueryItem(QStringLiteral("platform"), m_platform);
    query.addQueryItem(QStringLiteral("version"), m_kind);
    url.setQuery(query);
    m_stage = Stage::Releases;
    get(url);
}

void UpdateManager::OnReadyRead()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (reply && reply == m_reply)
        consume(reply);
}

// Takes what the reply has so far; false when that ended the request.
bool UpdateManager::consume(QNetworkReply *reply)
{
    const QByteArray chunk = reply->readAll();
    if (chunk.isEmpty())
        return true;
    if (m_stage != Stage::File) {
        if (m_buffer.size() + chunk.size() > kMaxXmlReplyBytes) {
            fail(Error::BadReply, tr("The update server's reply is too large."));
            return false;
        }
        m_buffer.append(chunk);
        return true;
    }

    // An error page is no part of the file; OnFinished() reports the status.
    if (httpStatus(reply) != 200)
        return true;
    const UpdateFile &file = m_details.files.at(m_fileIndex);
    const qint64 limit = file.size >= 0 ? file.size : UpdateReplyParser::kMaxFileBytes;
    if (m_fileReceived + chunk.size() > limit
        || m_releaseReceived + chunk.size() > UpdateReplyParser::kMaxReleaseBytes) {
        fail(Error::Download,
             tr("\"%1\" is larger than the update server announced.").arg(file.name));
        return false;
    }
    QSaveFile *target = m_pendingFiles.back().get();
    if (target->write(chunk) != chunk.size()) {
        fail(Error::Download,
             tr("Cannot write \"%1\": %2").arg(target->fileName(), target->errorString()));
        return false;
    }
    m_hash.addData(chunk);
    m_fileReceived += chunk.size();
    m_releaseReceived += chunk.size();
    const qint64 total = file.size >= 0
        ? file.size
        : reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    emit Progress(m_fileReceived, total > 0 ? total : -1);
    return m_stage == Stage::File;
}

void UpdateManager::OnFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply || reply != m_reply)
        return;
    if (!consume(reply))
        return;
    m_reply = nullptr;
    reply->deleteLater();

    switch (m_stage) {
    case Stage::Servers:
        finishServers(reply);
        break;
    case Stage::Releases:
        finishReleases(reply);
        break;
    case Stage::Details:
        finishDetails(reply);
        break;
    case Stage::File:
        finishFile(reply);
        break;
    case Stage::Idle:
        break;
    }
}

// Why a reply is no use, or empty when it is a good 200 answer. Our own aborts disconnect first,
// so a cancellation seen here is the transfer timeout.
static QString replyProblem(QNetworkReply *reply, int timeoutMs)
{
    const QString where = reply->url().toString();
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return UpdateManager::tr("%1: no answer within %2 seconds.")
            .arg(where)
            .arg(timeoutMs / 1000.0);
    if (reply->error() != QNetworkReply::NoError)
        return UpdateManager::tr("%1: %2").arg(where, reply->errorString());
    if (httpStatus(reply) != 200)
        return UpdateManager::tr("%1: the server answered with status %2.")
            .arg(where)
            .arg(httpStatus(reply));
    return {};
}

void UpdateManager::finishServers(QNetworkReply *reply)
{
    const QString problem = replyProblem(reply, m_transferTimeoutMs);
    if (!problem.isEmpty()) {
        fail(isUnanswered(reply) ? Error::Unreachable : Error::BadReply, problem);
        return;
    }
    QString error;
    if (!UpdateReplyParser::parseServers(m_buffer, reply->url(), &m_servers, &error)) {
        fail(Error::BadReply, error);
        return;
    }
    // An empty list means the server that holds the list also holds the releases.
    if (m_servers.isEmpty())
        m_servers.append(m_serverUrl);
    VLOG << "Update servers: " << m_servers.size();
    m_serverIndex = 0;
    askNextServer();
}

void UpdateManager::finishReleases(QNetworkReply *reply)
{
    QString problem = replyProblem(reply, m_transferTimeoutMs);
    QList<UpdateRelease> releases;
    if (problem.isEmpty()) {
        QString error;
        if (UpdateReplyParser::parseReleases(m_buffer, &releases, &error)) {
            m_releases = releases;
            m_activeServer = m_servers.at(m_serverIndex);
            VLOG << "Releases found: " << m_releases.size();
            succeed();
            return;
        }
        problem = error;
    }
    if (!isUnanswered(reply))
        m_serverAnswered = true;
    m_lastServerError = problem;
    VLOG << "Release query failed: " << problem;
    ++m_serverIndex;
    askNextServer();
}

void UpdateManager::finishDetails(QNetworkReply *reply)
{
    const QString problem = replyProblem(reply, m_transferTimeoutMs);
    if (!problem.isEmpty()) {
        fail(isUnanswered(reply) ? Error::Unreachable : Error::BadReply, problem);
        return;
    }
    QString error;
    if (!UpdateReplyParser::parseReleaseDetails(m_buffer, &m_details, &error)) {
        fail(Error::BadReply, error);
        return;
    }
    const QString directory = updatesDirectory();
    if (!QDir().mkpath(directory)) {
        fail(Error::Download, tr("Cannot create the folder \"%1\".").arg(directory));
        return;
    }
    m_fileIndex = 0;
    m_releaseReceived = 0;
    m_stage = Stage::File;
    startNextFile();
}

void UpdateManager::startNextFile()
{
    if (m_fileIndex >= m_details.files.size()) {
        commitFiles();
        return;
    }
    const UpdateFile &file = m_details.files.at(m_fileIndex);
    const QDir directory(updatesDirectory());
    const QString path = directory.absoluteFilePath(file.name);
    // The name was checked when the details were read; this keeps the promise should that change.
    if (!UpdateReplyParser::isSafeFileName(file.name)
        || QFileInfo(path).absolutePath() != directory.absolutePath()) {
        fail(Error::Download,
             tr("The update server sent an unsafe file name: \"%1\".").arg(file.name));
        return;
    }
    removeStaleTemporaries(directory, file.name);
    // QSaveFile writes beside the target and renames only on commit, so a broken download never
    // replaces or impersonates a complete file.
    auto target = std::make_unique<QSaveFile>(path);
    target->setDirectWriteFallback(false);
    if (!target->open(QIODevice::WriteOnly)) {
        fail(Error::Download, tr("Cannot write \"%1\": %2").arg(path, target->errorString()));
        return;
    }
    m_pendingFiles.push_back(std::move(target));
    m_hash.reset();
    m_fileReceived = 0;
    emit FileStarted(file.name, m_fileIndex, m_details.files.size());
    if (m_stage != Stage::File)
        return;
    get(endpoint(m_activeServer, QStringLiteral("/files/show/id/") + file.id));
}

void UpdateManager::finishFile(QNetworkReply *reply)
{
    const UpdateFile &file = m_details.files.at(m_fileIndex);
    const QString problem = replyProblem(reply, m_transferTimeoutMs);
    if (!problem.isEmpty()) {
        fail(Error::Download, tr("The download of \"%1\" failed: %2").arg(file.name, problem));
        return;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 expected
        = file.size >= 0 ? file.size : (length.isValid() ? length.toLongLong() : -1);
    if ((expected >= 0 && m_fileReceived != expected)
        || (length.isValid() && m_fileReceived != length.toLongLong())) {
        fail(Error::Download,
             tr("The download of \"%1\" is incomplete (%2 of %3 bytes).")
                 .arg(file.name)
                 .arg(m_fileReceived)
                 .arg(expected >= 0 ? expected : length.toLongLong()));
        return;
    }
    if (!file.sha256.isEmpty() && m_hash.result() != file.sha256) {
        fail(Error::Download,
             tr("The checksum of \"%1\" does not match; the file was discarded.").arg(file.name));
        return;
    }
    VLOG << "Downloaded " << file.name << " (" << m_fileReceived << " bytes)";
    ++m_fileIndex;
    startNextFile();
}

void UpdateManager::commitFiles()
{
    // All or nothing: an older file of the same name is moved aside before the new one takes its
    // place, and put back should any file of the release fail to.
    struct MovedAside
    {
        QString target;
        QString previous;
    };
    QList<MovedAside> movedAside;
    QStringList stored;
    QString problem;
    for (const auto &file : m_pendingFiles) {
        const QString target = file->fileName();
        const QFileInfo existing(target);
        if (existing.isFile() && !existing.isSymLink()) {
            const QString previous = target + QStringLiteral(".previous");
            QFile::remove(previous); // left by a run that ended between the two renames
            QFile old(target);
            if (!old.rename(previous)) {
                problem = tr("Cannot store \"%1\": %2").arg(target, old.errorString());
                break;
            }
            movedAside.append({ target, previous });
        }
        if (!file->commit()) {
            problem = tr("Cannot store \"%1\": %2").arg(target, file->errorString());
            break;
        }
        stored.append(target);
    }
    if (!problem.isEmpty()) {
        for (const QString &target : qAsConst(stored))
            QFile::remove(target);
        for (const MovedAside &old : qAsConst(movedAside)) {
            if (!QFile::rename(old.previous, old.target))
                VWARN << "Cannot put " << old.previous << " back as " << old.target;
        }
        fail(Error::Download, problem);
        return;
    }
    for (const MovedAside &old : qAsConst(movedAside))
        QFile::remove(old.previous);
    m_pendingFiles.clear();
    m_downloadedFiles = m_details.files;
    succeed();
}

void UpdateManager::succeed()
{
    m_stage = Stage::Idle;
    emit Done();
}

void UpdateManager::fail(Error error, const QString &text)
{
    if (m_stage == Stage::Idle)
        return;
    dropReply();
    discardPendingFiles();
    m_stage = Stage::Idle;
    m_error = error;
    m_errorString = text;
    VLOG << "Update request failed: " << text;
    emit Fail();
}

void UpdateManager::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    // Disconnect first: abort() emits finished() at once.
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void UpdateManager::discardPendingFiles()
{
    for (const auto &file : m_pendingFiles)
        file->cancelWriting();
    m_pendingFiles.clear();
}

#pragma once

#include "update/updatereplyparser.h"

#include <QCryptographicHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QSaveFile;

// Client of the update server (protocol in docs/update-server.md). It reads the servers list,
// asks for the releases of a product and platform, and downloads a release's files into the
// updates folder. One request runs at a time; each ends with exactly one Done() or Fail().
// Requests go through the application-wide proxy, like every QNetworkAccessManager.
class UpdateManager : public QObject
{
    Q_OBJECT
public:
    enum class Error {
        None,
        Unreachable, // no server answered at all
        BadReply, // a server answered, but not with what the protocol promises
        Download, // a file could not be fetched, verified or stored
        Canceled,
    };

    // The settings key that overrides the compiled-in server address.
    static const char *const kServerSettingsKey;
    static constexpr int kDefaultTransferTimeoutMs = 30000;
    // Bound on the XML replies; a release list is a few hundred bytes.
    static constexpr qint64 kMaxXmlReplyBytes = 1024 * 1024;

    explicit UpdateManager(QObject *parent = nullptr);
    ~UpdateManager() override;

    static QUrl defaultServerUrl();
    // The settings value under kServerSettingsKey when it is a usable http(s) address, else the
    // default.
    static QUrl configuredServerUrl();
    // Home folder, "/", application name, "/updates".
    static QString updatesDirectory();

    // The platform this build asks the server for its own releases: "WIN32" on Windows, else the
    // system and the processor it was built for ("LINUX-x86_64"). An installer for another
    // platform would be of no use here.
    static QString programPlatform();
    // The same for any system, named as QSysInfo::kernelType() and buildCpuArchitecture() name
    // it: "winnt" gives "WIN32" whatever the processor (the server's one name for Windows builds).
    static QString platformName(const QString &kernelType, const QString &cpuArchitecture);

    QUrl serverUrl() const { return m_serverUrl; }
    void setServerUrl(const QUrl &url) { m_serverUrl = url; }
    // A stalled transfer fails after this long without data.
    void setTransferTimeout(int ms) { m_transferTimeoutMs = ms; }

    // Asks for the releases of a product and platform; kind is the kind of request ("newest").
    // Done() leaves the answer in versions() and releases(). False when a request is running.
    bool requestReleases(const QString &product, const QString &platform,
                         const QString &kind = QStringLiteral("newest"));
    // Downloads every file of the release with this id (from releases()) into updatesDirectory().
    // Files are kept only when all of them arrived whole and matched their checksums.
    bool downloadRelease(const QString &releaseId);
    // Stops the running request; it ends with Fail() and error() Canceled.
    void cancel();
    bool isBusy() const { return m_stage != Stage::Idle; }

    QStringList versions() const;
    QList<UpdateRelease> releases() const { return m_releases; }
    // The newest release of releases() by version; an empty release when there is none.
    UpdateRelease newestRelease() const;
    // Names (not paths) of the files of the last successful download, in the server's order.
    QStringList downloadedFiles() const;
    // The same files with what the server said of them (kind, size, checksum).
    QList<UpdateFile> downloadedFileDetails() const { return m_downloadedFiles; }
    // Where a downloaded file lies: updatesDirectory(), "/", the name.
    static QString localPath(const QString &fileName);
    // Checks a downloaded file again before it is used (sent to the device or started): it must
    // still lie in the updates folder with the announced size and checksum.
    static bool verifyDownloadedFile(const UpdateFile &file, QString *error);

    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }

signals:
    void Done();
    void Fail();
    // A file of the download starts: its name, its index from 0, and the number of files.
    void FileStarted(const QString &name, int index, int count);
    // Bytes of the current file received so far, and its size (-1 when unknown).
    void Progress(qint64 received, qint64 total);

private slots:
    void OnReadyRead();
    void OnFinished();

private:
    enum class Stage { Idle, Servers, Releases, Details, File };

    QUrl endpoint(const QUrl &server, const QString &path) const;
    void get(const QUrl &url);
    void askNextServer();
    bool consume(QNetworkReply *reply);
    void finishServers(QNetworkReply *reply);
    void finishReleases(QNetworkReply *reply);
    void finishDetails(QNetworkReply *reply);
    void finishFile(QNetworkReply *reply);
    void startNextFile();
    void commitFiles();
    void succeed();
    void fail(Error error, const QString &text);
    void dropReply();
    void discardPendingFiles();

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    Stage m_stage = Stage::Idle;
    QUrl m_serverUrl;
    int m_transferTimeoutMs = kDefaultTransferTimeoutMs;
    bool m_canceling = false;

    QByteArray m_buffer;
    QList<QUrl> m_servers;
    int m_serverIndex = 0;
    QUrl m_activeServer;
    QString m_product;
    QString m_platform;
    QString m_kind;
    QString m_lastServerError;
    bool m_serverAnswered = false;

    QList<UpdateRelease> m_releases;
    QList<UpdateFile> m_downloadedFiles;

    UpdateReleaseDetails m_details;
    int m_fileIndex = 0;
    qint64 m_fileReceived = 0;
    qint64 m_releaseReceived = 0;
    QCryptographicHash m_hash { QCryptographicHash::Sha256 };
    std::vector<std::unique_ptr<QSaveFile>> m_pendingFiles;

    Error m_error = Error::None;
    QString m_errorString;
};

#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QUrl>

// One release as the server lists it in answer to "/releases".
struct UpdateRelease
{
    QString id;
    QString version;
};

// One downloadable file of a release. size is -1 and sha256 empty when the server does not say.
struct UpdateFile
{
    QString id;
    QString name;
    qint64 size = -1;
    QByteArray sha256; // raw 32 bytes
    // What the file is for the device (firmware upload picks the file attributes by it); 0 when
    // the server does not say.
    int kind = 0;
};

struct UpdateReleaseDetails
{
    QString id;
    QString version;
    QList<UpdateFile> files;
};

// Reads the update server's XML replies (formats in docs/update-server.md). Every reply is
// untrusted network data: anything malformed fails the whole reply with a readable reason.
class UpdateReplyParser
{
    Q_DECLARE_TR_FUNCTIONS(UpdateReplyParser)
public:
    // Largest size of a file, and of all files of a release together; guards the disk against a
    // hostile server.
    static constexpr qint64 kMaxFileBytes = qint64(1) << 30;
    static constexpr qint64 kMaxReleaseBytes = qint64(1) << 30;
    // A release is an installer or a handful of firmware files.
    static constexpr int kMaxFilesPerRelease = 64;
    static constexpr int kMaxReleases = 1000;
    // Further mirrors in a servers list are ignored.
    static constexpr int kMaxServers = 16;

    // listUrl is where the list came from: relative entries resolve against it, and a list read
    // over HTTPS may not send the client to a plain HTTP mirror.
    static bool parseServers(const QByteArray &xml, const QUrl &listUrl, QList<QUrl> *servers,
                             QString *error);
    static bool parseReleases(const QByteArray &xml, QList<UpdateRelease> *releases,
                              QString *error);
    static bool parseReleaseDetails(const QByteArray &xml, UpdateReleaseDetails *details,
                                    QString *error);

    // Ids go into request paths: short runs of letters, digits, '-' and '_' only.
    static bool isValidId(const QString &id);
    // A plain file name that stays inside the folder it is written to, on Windows too.
    static bool isSafeFileName(const QString &name);
};

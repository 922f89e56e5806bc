#pragma once

#include "httptestserver.h"

#include <QCryptographicHash>

// Builds the update server's XML replies for the tests.
namespace fixture {

struct File
{
    QString id;
    QString name;
    QByteArray content;
    int kind = 0;
    bool withSize = true;
    bool withSha256 = true;
};

inline QByteArray sha256Hex(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex();
}

inline QByteArray serversXml(const QStringList &urls)
{
    QByteArray xml = "<?xml version=\"1.0\"?>\n<servers>\n";
    for (const QString &url : urls)
        xml += "  <server url=\"" + url.toUtf8() + "\"/>\n";
    return xml + "</servers>\n";
}

inline QByteArray releasesXml(const QList<QPair<QString, QString>> &idAndVersion)
{
    QByteArray xml = "<?xml version=\"1.0\"?>\n<releases>\n";
    for (const auto &release : idAndVersion)
        xml += "  <release id=\"" + release.first.toUtf8() + "\" version=\""
            + release.second.toUtf8() + "\"/>\n";
    return xml + "</releases>\n";
}

inline QByteArray detailsXml(const QString &id, const QString &version, const QList<File> &files)
{
    QByteArray xml = "<?xml version=\"1.0\"?>\n<release id=\"" + id.toUtf8() + "\" version=\""
        + version.toUtf8() + "\">\n";
    for (const File &file : files) {
        xml += "  <file id=\"" + file.id.toUtf8() + "\" name=\""
            + file.name.toHtmlEscaped().toUtf8().replace("\n", "&#10;") + "\" kind=\""
            + QByteArray::number(file.kind) + "\"";
        if (file.withSize)
            xml += " size=\"" + QByteArray::number(file.content.size()) + "\"";
        if (file.withSha256)
            xml += " sha256=\"" + sha256Hex(file.content) + "\"";
        xml += "/>\n";
    }
    return xml + "</release>\n";
}

// A server that lists itself, offers the given releases, and for release `detailsId` the files.
inline void serveRelease(HttpTestServer &server, const QList<QPair<QString, QString>> &releases,
                         const QString &detailsId, const QList<File> &files)
{
    server.setRoute(QStringLiteral("/servers.xml"),
                    CannedReply::ok(serversXml({ server.url().toString() })));
    server.setRoute(QStringLiteral("/releases"), CannedReply::ok(releasesXml(releases)));
    QString version;
    for (const auto &release : releases) {
        if (release.first == detailsId)
            version = release.second;
    }
    server.setRoute(QStringLiteral("/releases/show/id/") + detailsId,
                    CannedReply::ok(detailsXml(detailsId, version, files)));
    for (const File &file : files)
        server.setRoute(QStringLiteral("/files/show/id/") + file.id, CannedReply::ok(file.content));
}

} // namespace fixture

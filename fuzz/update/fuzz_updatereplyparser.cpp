// Feeds the update server's reply parser arbitrary bytes. The first byte picks the reply kind;
// beyond not crashing, a reply that parses must only name files that stay in their folder.
#include "update/updatereplyparser.h"

#include <QDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray reply(reinterpret_cast<const char *>(data + 1), int(size - 1));
    QString error;
    switch (data[0] % 3) {
    case 0: {
        QList<QUrl> servers;
        const QUrl listUrl(QStringLiteral("https://list.example/servers.xml"));
        if (UpdateReplyParser::parseServers(reply, listUrl, &servers, &error)) {
            for (const QUrl &url : servers) {
                // A list read over HTTPS never sends the client to plain HTTP.
                if (url.scheme() != QLatin1String("https") || url.host().isEmpty())
                    abort();
            }
            if (servers.size() > UpdateReplyParser::kMaxServers)
                abort();
        } else if (error.isEmpty()) {
            abort();
        }
        break;
    }
    case 1: {
        QList<UpdateRelease> releases;
        if (UpdateReplyParser::parseReleases(reply, &releases, &error)) {
            for (const UpdateRelease &release : releases) {
                if (!UpdateReplyParser::isValidId(release.id) || release.version.isEmpty())
                    abort();
            }
        } else if (error.isEmpty()) {
            abort();
        }
        break;
    }
    default: {
        UpdateReleaseDetails details;
        if (UpdateReplyParser::parseReleaseDetails(reply, &details, &error)) {
            const QString folder = QStringLiteral("/var/empty/updates");
            for (const UpdateFile &file : details.files) {
                const QString path = QDir::cleanPath(folder + QLatin1Char('/') + file.name);
                if (!UpdateReplyParser::isSafeFileName(file.name)
                    || !UpdateReplyParser::isValidId(file.id)
                    || !path.startsWith(folder + QLatin1Char('/'))
                    || path.mid(folder.size() + 1).contains(QLatin1Char('/'))
                    || file.size > UpdateReplyParser::kMaxFileBytes
                    || (!file.sha256.isEmpty() && file.sha256.size() != 32))
                    abort();
            }
        } else if (error.isEmpty()) {
            abort();
        }
        break;
    }
    }
    return 0;
}

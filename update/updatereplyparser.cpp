#include "update/updatereplyparser.h"

#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

namespace {

// Positions the reader on the root element, refusing DTDs so no entity tricks get through.
bool readRoot(QXmlStreamReader &xml, const QString &rootName, QString *error)
{
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD) {
            *error = UpdateReplyParser::tr("The update server sent a document type declaration.");
            return false;
        }
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() != rootName) {
                *error = UpdateReplyParser::tr("The update server sent \"%1\" instead of \"%2\".")
                             .arg(xml.name().toString(), rootName);
                return false;
            }
            return true;
        }
    }
    *error = xml.hasError()
        ? UpdateReplyParser::tr("The update server's reply is not valid XML: %1")
              .arg(xml.errorString())
        : UpdateReplyParser::tr("The update server sent an empty reply.");
    return false;
}

// Reads to the end so that trailing garbage or an unclosed element fails the reply.
bool finish(QXmlStreamReader &xml, QString *error)
{
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError()) {
        *error = UpdateReplyParser::tr("The update server's reply is not valid XML: %1")
                     .arg(xml.errorString());
        return false;
    }
    return true;
}

} // namespace

bool UpdateReplyParser::isValidId(const QString &id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    return pattern.match(id).hasMatch();
}

bool UpdateReplyParser::isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name.size() > 255)
        return false;
    if (name.startsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char('.'))
        || name.endsWith(QLatin1Char(' ')) || name.startsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
        // Path separators, drive letters and streams, and what Windows refuses in a name.
        if (QStringLiteral("/\\:<>\"|?*").contains(c))
            return false;
    }
    // Windows maps these to devices whatever the extension.
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed();
    return !reserved.match(stem).hasMatch();
}

bool UpdateReplyParser::parseServers(const QByteArray &data, const QUrl &listUrl,
                                     QList<QUrl> *servers, QString *error)
{
    QXmlStreamReader xml(data);
    if (!readRoot(xml, QStringLiteral("servers"), error))
        return false;
    QList<QUrl> found;
    const bool listSecure = listUrl.scheme() == QLatin1String("https");
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("server")) {
            const QString text = xml.attributes().value(QLatin1String("url")).toString().trimmed();
            const QUrl url = listUrl.resolved(QUrl(text));
            const QString scheme = url.scheme();
            const bool usable = !text.isEmpty() && url.isValid() && !url.host().isEmpty()
                && (scheme == QLatin1String("https")
                    || (scheme == QLatin1String("http") && !listSecure));
            if (usable && found.size() < kMaxServers && !found.contains(url))
                found.append(url);
        }
        xml.skipCurrentElement();
    }
    if (!finish(xml, error))
        return false;
    *servers = found;
    return true;
}

bool UpdateReplyParser::parseReleases(const QByteArray &data, QList<UpdateRelease> *releases,
                                      QString *error)
{
    QXmlStreamReader xml(data);
    if (!readRoot(xml, QStringLiteral("releases"), error))
        return false;
    QList<UpdateRelease> found;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("release")) {
            UpdateRelease release;
            release.id = xml.attributes().value(QLatin1String("id")).toString();
            release.version = xml.attributes().value(QLatin1String("version")).toString().trimmed();
            if (!isValidId(release.id) || release.version.isEmpty()
                || release.version.size() > 64) {
                *error = tr("The update server listed a release without a usable id or version.");
                return false;
            }
            if (found.size() >= kMaxReleases) {
                *error = tr("The update server listed too many releases.");
                return false;
            }
            found.append(release);
        }
        xml.skipCurrentElement();
    }
    if (!finish(xml, error))
        return false;
    *releases = found;
    return true;
}

bool UpdateReplyParser::parseReleaseDetails(const QByteArray &data, UpdateReleaseDetails *details,
                                            QString *error)
{
    QXmlStreamReader xml(data);
    if (!readRoot(xml, QStringLiteral("release"), error))
        return false;
    UpdateReleaseDetails found;
    found.id = xml.attributes().value(QLatin1String("id")).toString();
    found.version = xml.attributes().value(QLatin1String("version")).toString().trimmed();
    QSet<QString> names;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("file")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            UpdateFile file;
            file.id = attributes.value(QLatin1String("id")).toString();
            file.name = attributes.value(QLatin1String("name")).toString();
            if (!isValidId(file.id)) {
                *error = tr("The update server listed a file without a usable id.");
                return false;
            }
            if (!isSafeFileName(file.name)) {
                *error = tr("The update server sent an unsafe file name: \"%1\".").arg(file.name);
                return false;
            }
            // Names differing only in case are one file on Windows.
            if (names.contains(file.name.toLower())) {
                *error = tr("The update server listed the file \"%1\" twice.").arg(file.name);
                return false;
            }
            names.insert(file.name.toLower());
            if (attributes.hasAttribute(QLatin1String("size"))) {
                bool ok = false;
                file.size = attributes.value(QLatin1String("size")).toLongLong(&ok);
                if (!ok || file.size < 0 || file.size > kMaxFileBytes) {
                    *error
                        = tr("The update server gave an unusable size for \"%1\".").arg(file.name);
                    return false;
                }
            }
            if (attributes.hasAttribute(QLatin1String("sha256"))) {
                static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
                const QString digest
                    = attributes.value(QLatin1String("sha256")).toString().trimmed();
                if (!hex.match(digest).hasMatch()) {
                    *error = tr("The update server gave an unusable checksum for \"%1\".")
                                 .arg(file.name);
                    return false;
                }
                file.sha256 = QByteArray::fromHex(digest.toLatin1());
            }
            if (attributes.hasAttribute(QLatin1String("kind"))) {
                bool ok = false;
                file.kind = attributes.value(QLatin1String("kind")).toInt(&ok);
                if (!ok || file.kind < 0 || file.kind > 255) {
                    *error
                        = tr("The update server gave an unusable kind for \"%1\".").arg(file.name);
                    return false;
                }
            }
            if (found.files.size() >= kMaxFilesPerRelease) {
                *error = tr("The release lists too many files.");
                return false;
            }
            found.files.append(file);
        }
        xml.skipCurrentElement();
    }
    if (!finish(xml, error))
        return false;
    qint64 announced = 0;
    for (const UpdateFile &file : found.files)
        announced += qMax<qint64>(file.size, 0);
    if (announced > kMaxReleaseBytes) {
        *error = tr("The release is larger than an update can be.");
        return false;
    }
    if (found.files.isEmpty()) {
        *error = tr("The release has no files to download.");
        return false;
    }
    *details = found;
    return true;
}

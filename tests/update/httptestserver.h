#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

#include <memory>

// A small HTTP/1.1 server on 127.0.0.1 for the update tests: each path gets a canned reply,
// including broken ones (truncated bodies, endless bodies, no answer at all). Every connection
// is answered once and closed.
struct CannedReply
{
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // Announced Content-Length; -1 announces body.size(). Larger than the body makes a truncated
    // reply: the connection closes after the body.
    qint64 contentLength = -1;
    // Streams this many filler bytes instead of body (announced as Content-Length unless
    // contentLength says otherwise), without holding them in memory.
    qint64 fillerBytes = 0;
    // Sends nothing at all and keeps the connection open.
    bool stall = false;

    static CannedReply ok(const QByteArray &body)
    {
        CannedReply reply;
        reply.body = body;
        return reply;
    }
    static CannedReply error(int code)
    {
        CannedReply reply;
        reply.status = code;
        reply.body = "<html>error</html>";
        return reply;
    }
    static CannedReply redirect(const QByteArray &location)
    {
        CannedReply reply;
        reply.status = 302;
        reply.headers.append({ "Location", location });
        return reply;
    }
};

Q_DECLARE_METATYPE(CannedReply)

// Accepts TLS connections when given a certificate, plain ones otherwise.
class TestTcpServer : public QTcpServer
{
    Q_OBJECT
public:
    void useTls(const QSslCertificate &certificate, const QSslKey &key)
    {
        m_certificate = certificate;
        m_key = key;
    }
    bool usesTls() const { return !m_certificate.isNull(); }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!usesTls()) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto *socket = new QSslSocket(this);
        socket->setSocketDescriptor(descriptor);
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->startServerEncryption();
        addPendingConnection(socket);
    }

private:
    QSslCertificate m_certificate;
    QSslKey m_key;
};

class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    explicit HttpTestServer(QObject *parent = nullptr)
        : QObject(parent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &HttpTestServer::OnNewConnection);
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    // Call before listen(); the URL then says https and names "localhost", as the certificate does.
    void useTls(const QSslCertificate &certificate, const QSslKey &key)
    {
        m_server.useTls(certificate, key);
    }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url() const
    {
        return m_server.usesTls() ? QUrl(QStringLiteral("https://localhost:%1").arg(port()))
                                  : QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
    }

    // path without the query; the reply for every other path is 404.
    void setRoute(const QString &path, const CannedReply &reply) { m_routes.insert(path, reply); }
    // Requests for path are answered only when their query holds exactly these items, in any
    // order; any other query gets 404, as from a server that has nothing for it.
    void requireQuery(const QString &path, const QUrlQuery &query)
    {
        m_queries.insert(path, sortedItems(query));
    }
    // Request targets as received, query included (absolute URLs when used as a proxy).
    QStringList requests() const { return m_requests; }
    int requestCount(const QString &path) const
    {
        int count = 0;
        for (const QString &target : m_requests)
            count += QUrl(target).path() == path ? 1 : 0;
        return count;
    }

private slots:
    void OnNewConnection()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, &HttpTestServer::OnReadyRead);
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void OnReadyRead()
    {
        auto *socket = qobject_cast<QTcpSocket *>(sender());
        QByteArray &pending = m_pending[socket];
        pending.append(socket->readAll());
        if (!pending.contains("\r\n\r\n"))
            return;
        disconnect(socket, &QTcpSocket::readyRead, this, &HttpTestServer::OnReadyRead);
        const QList<QByteArray> requestLine = pending.left(pending.indexOf("\r\n")).split(' ');
        m_pending.remove(socket);
        const QString target = QString::fromLatin1(requestLine.value(1));
        m_requests.append(target);
        const QUrl url(target);
        CannedReply reply = m_routes.value(url.path(), CannedReply::error(404));
        if (m_queries.contains(url.path())
            && m_queries.value(url.path()) != sortedItems(QUrlQuery(url)))
            reply = CannedReply::error(404);
        if (reply.stall)
            return;
        answer(socket, reply);
    }

private:
    static QList<QPair<QString, QString>> sortedItems(const QUrlQuery &query)
    {
        QList<QPair<QString, QString>> items = query.queryItems(QUrl::FullyDecoded);
        std::sort(items.begin(), items.end());
        return items;
    }

    void answer(QTcpSocket *socket, const CannedReply &reply)
    {
        const qint64 bodySize = reply.fillerBytes > 0 ? reply.fillerBytes : reply.body.size();
        const qint64 announced = reply.contentLength >= 0 ? reply.contentLength : bodySize;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Canned\r\n";
        head += "Content-Length: " + QByteArray::number(announced) + "\r\n";
        head += "Connection: close\r\n";
        for (const auto &header : reply.headers)
            head += header.first + ": " + header.second + "\r\n";
        head += "\r\n";
        socket->write(head);
        if (reply.fillerBytes <= 0) {
            socket->write(reply.body);
            socket->disconnectFromHost();
            return;
        }
        // Stream the filler as the client takes it, in 64 KiB pieces.
        auto remaining = std::make_shared<qint64>(reply.fillerBytes);
        QPointer<QTcpSocket> guard(socket);
        auto feed = [guard, remaining]() {
            if (!guard || guard->bytesToWrite() > 256 * 1024)
                return;
            if (*remaining <= 0) {
                guard->disconnectFromHost();
                return;
            }
            const qint64 piece = qMin<qint64>(*remaining, 64 * 1024);
            *remaining -= piece;
            guard->write(QByteArray(int(piece), 'x'));
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, feed);
        feed();
    }

    TestTcpServer m_server;
    QHash<QString, CannedReply> m_routes;
    QHash<QString, QList<QPair<QString, QString>>> m_queries;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QStringList m_requests;
};

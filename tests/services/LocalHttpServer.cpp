#include "LocalHttpServer.h"

#include <QTimer>

LocalHttpServer::LocalHttpServer()
{
    QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(&m_server);
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { readFrom(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    m_server.listen(QHostAddress::LocalHost, 0);
}

QString LocalHttpServer::origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

void LocalHttpServer::readFrom(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (int end; (end = buffer.indexOf("\r\n\r\n")) >= 0; buffer.remove(0, end + 4)) {
        const QByteArray head = buffer.left(end + 2);
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const bool get = requestLine.value(0) == "GET" && requestLine.value(2) == "HTTP/1.1";
        const QString target = get ? QString::fromLatin1(requestLine.value(1)) : QStringLiteral("not a GET");
        requests.append({target, head});
        const Response response = routes.value(target.section('?', 0, 0), fallback);
        if (response.silent)
            continue;
        const qint64 length = response.declaredLength >= 0 ? response.declaredLength : response.body.size();
        socket->write("HTTP/1.1 " + response.status + "\r\n" + response.headers + "Content-Length: "
                      + QByteArray::number(length) + "\r\n\r\n" + (response.dripMs > 0 ? QByteArray() : response.body));
        if (response.dripMs > 0) {
            auto* drip = new QTimer(socket);
            QObject::connect(drip, &QTimer::timeout, socket, [socket, drip, body = response.body] {
                const int sent = drip->property("sent").toInt();
                socket->write(body.mid(sent % body.size(), 1));
                drip->setProperty("sent", sent + 1);
            });
            drip->start(response.dripMs);
        }
    }
}

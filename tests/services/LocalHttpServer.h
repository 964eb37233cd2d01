#pragma once

#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A bounded HTTP/1.1 server on 127.0.0.1 for the network tests of this folder.
// It records the target and header block of each request and answers from a
// table of paths (or with the fallback). It lives on the test's thread.
class LocalHttpServer {
public:
    struct Response {
        QByteArray status = "200 OK";
        QByteArray headers; // extra header lines, each ending in "\r\n"
        QByteArray body;
        bool silent = false; // never answer
        qint64 declaredLength = -1; // the Content-Length sent; -1: the body's
        int dripMs = 0; // > 0: the body one byte per interval, round and round, never ending
    };
    struct Request {
        QString target;
        QByteArray head;
    };

    LocalHttpServer();
    QString origin() const;

    Response fallback;
    QHash<QString, Response> routes;
    QList<Request> requests;

private:
    void readFrom(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

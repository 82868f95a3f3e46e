#include "platform/qt/NutServer.h"

#include "net/NutRequest.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

using corvolt::net::kMaxRequestLine;
using corvolt::net::NutSession;

namespace {
constexpr qint64 kMaxUnsentReply = 64 * 1024;
}

NutServer::NutServer(corvolt::net::NutUps& ups, QObject* parent) : QObject(parent), m_ups(ups) {}

bool NutServer::listen(const QHostAddress& address, quint16 port, QString* error) {
    auto* listener = new QTcpServer(this);
    listener->setMaxPendingConnections(kMaxClients);
    if (!listener->listen(address, port)) {
        if (error)
            *error = listener->errorString();
        delete listener;
        return false;
    }
    connect(listener, &QTcpServer::newConnection, this, [this, listener] {
        while (QTcpSocket* socket = listener->nextPendingConnection())
            accept(socket);
    });
    m_listeners.append(listener);
    return true;
}

quint16 NutServer::port() const {
    return m_listeners.isEmpty() ? 0 : m_listeners.first()->serverPort();
}

void NutServer::accept(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (m_clients >= kMaxClients) {
        socket->abort();
        return;
    }
    ++m_clients;
    connect(socket, &QObject::destroyed, this, [this] { --m_clients; });

    // The session and the pending bytes live as long as the socket.
    auto session =
        std::make_shared<NutSession>(m_ups, socket->peerAddress().toString().toStdString());
    auto pending = std::make_shared<QByteArray>();
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(kIdleTimeout);
    connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    idle->start();

    connect(socket, &QTcpSocket::readyRead, socket, [socket, session, pending, idle] {
        if (socket->state() != QAbstractSocket::ConnectedState)
            return; // closing: requests after LOGOUT or a flood get no answer
        pending->append(socket->readAll());
        qsizetype end;
        while ((end = pending->indexOf('\n')) >= 0) {
            // A client that asks without reading the answers is stalled.
            if (socket->bytesToWrite() > kMaxUnsentReply) {
                socket->abort();
                return;
            }
            idle->start(); // only whole requests count as activity
            const QByteArray line = pending->left(end);
            pending->remove(0, end + 1);
            const NutSession::Reply reply =
                session->handle(std::string_view(line.constData(), std::size_t(line.size())));
            for (const std::string& l : reply.lines) {
                socket->write(l.data(), qint64(l.size()));
                socket->write("\n", 1);
            }
            if (reply.close) {
                socket->disconnectFromHost();
                return;
            }
        }
        // Past the longest line, only the CR before its line feed may still be pending.
        const auto size = std::size_t(pending->size());
        if (size > kMaxRequestLine && !(size == kMaxRequestLine + 1 && pending->endsWith('\r'))) {
            socket->write("ERR INVALID-ARGUMENT\n");
            socket->disconnectFromHost();
        }
    });
}

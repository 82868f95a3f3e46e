#pragma once
#include "net/NutSession.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

class QTcpServer;
class QTcpSocket;

// The NUT network front on the UI thread: accepts clients, cuts their bytes into request
// lines and sends each line's reply. A client that sends an overlong line, no whole request
// for the idle time, or requests while leaving replies unread, is dropped; connections past
// the client limit are closed at once.
class NutServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 32;
    static constexpr std::chrono::milliseconds kIdleTimeout{60000};

    // ups must outlive the server and its clients.
    explicit NutServer(corvolt::net::NutUps& ups, QObject* parent = nullptr);

    // Listens on one more address; false with the reason in error when that fails.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    // The port of the first address listened on (0 before any).
    quint16 port() const;
    int clientCount() const { return m_clients; }

private:
    void accept(QTcpSocket* socket);

    corvolt::net::NutUps& m_ups;
    QList<QTcpServer*> m_listeners;
    int m_clients = 0;
};

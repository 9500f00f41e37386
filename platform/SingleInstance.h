#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QLocalSocket;

// One running program per user and display. The first start holds a lock
// file and listens on a local socket beside it, both in the user's runtime
// folder; a later start connects there and sends what it asks for, as
// fields, with its activation token and its X11 startup id, which makes
// the first raise and activate its window and take the request, and goes
// no further.
class SingleInstance {
public:
    SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True for the first start, which answers later starts from now on;
    // false when a running instance took over the request. The startup id
    // is the one this start was launched with.
    bool Claim(const QStringList& request = {}, const QByteArray& startupId = {});
    // What a later start asks for, once the window on top is raised; set
    // before Claim. Called from the local socket's handler: the handler
    // must not open a modal loop.
    void SetRequestHandler(std::function<void(const QStringList&)> handler);

private:
    bool HandOver(const QByteArray& message) const;
    void Listen();
    void OnNewConnection();
    void Drop(QLocalSocket* socket);
    void OnMessage(const QByteArray& message);

    QString m_strName;
    QLockFile m_lock;
    QLocalServer m_server;
    // Qt stops listening for good when an accept fails (no descriptor
    // left); this listens again.
    QTimer m_listenCheck;
    // Oldest first.
    QList<QLocalSocket*> m_held;
    std::function<void(const QStringList&)> m_onRequest;
};

#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <QStringList>

#include <functional>

// One running program per user and display. The first start holds a lock
// file and listens on a local socket beside it, both in the user's runtime
// folder; a later start connects there and sends its arguments with its
// activation token and its X11 startup id, which makes the first raise and
// activate its window and take the arguments, and goes no further.
class SingleInstance {
public:
    SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True for the first start, which answers later starts from now on;
    // false when a running instance took over the arguments. The startup
    // id is the one this start was launched with.
    bool Claim(const QStringList& arguments = {}, const QByteArray& startupId = {});
    // What a later start passes on, once the window is raised.
    void SetArgumentsHandler(std::function<void(const QStringList&)> handler);

private:
    bool HandOver(const QByteArray& message) const;
    void Listen();
    void OnNewConnection();
    void OnMessage(const QByteArray& message);

    QString m_strName;
    QLockFile m_lock;
    QLocalServer m_server;
    std::function<void(const QStringList&)> m_onArguments;
};

#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>

// One running program per user and display. The first start holds a lock
// file and listens on a local socket beside it, both in the user's runtime
// folder; a later start connects there, which makes the first raise and
// activate its window, and goes no further.
class SingleInstance {
public:
    SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True for the first start, which answers later starts from now on;
    // false when a running instance took over.
    bool Claim();

private:
    bool HandOver() const;
    void Listen();
    void OnNewConnection();

    QString m_strName;
    QLockFile m_lock;
    QLocalServer m_server;
};

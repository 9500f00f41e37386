#pragma once

#include <QProcess>
#include <QString>

// A session bus of the benchmark's own: dbus-daemon with the given
// configuration. Ends, with the search service it started, when destroyed.
class SessionBus {
public:
    explicit SessionBus(const QString& config);
    ~SessionBus();
    // Empty when the daemon did not start.
    const QString& Address() const { return m_strAddress; }
    // Ends the process that owns the name, so that the next call starts it anew.
    void EndOwner(const QString& name);

private:
    QProcess m_daemon;
    QString m_strAddress;
};

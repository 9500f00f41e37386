#pragma once

#include <QProcess>
#include <QString>

// A session bus of the test's own: dbus-daemon with a configuration that
// activates the services of one folder, listening in a private folder.
// Ends, with the services it started, when destroyed.
class SessionBus {
public:
    SessionBus(const QString& folder, const QString& serviceDir);
    ~SessionBus();
    // Empty when the daemon did not start.
    const QString& Address() const { return m_strAddress; }
    // Ends the process that owns the name, so that the next call starts it anew.
    void EndOwner(const QString& name);

private:
    QProcess m_daemon;
    QString m_strAddress;
    QString m_strOwner;
};

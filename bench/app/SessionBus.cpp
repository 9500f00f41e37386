#include "SessionBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QThread>

#include <csignal>

namespace {
constexpr char ConnectionName[] = "bench-session-bus";
}  // namespace

SessionBus::SessionBus(const QString& config)
{
    m_daemon.start("dbus-daemon", {"--nofork", "--print-address", "--config-file=" + config});
    if (m_daemon.waitForStarted() && m_daemon.waitForReadyRead())
        m_strAddress = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

SessionBus::~SessionBus()
{
    EndOwner("org.tallowmere.Quorlex.SearchProvider");
    QDBusConnection::disconnectFromBus(ConnectionName);
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void SessionBus::EndOwner(const QString& name)
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_strAddress, ConnectionName);
    const auto pid = bus.interface()->servicePid(name);
    if (pid.isValid() && pid.value() > 0)
        ::kill(static_cast<pid_t>(pid.value()), SIGTERM);
    while (bus.interface()->isServiceRegistered(name).value())
        QThread::msleep(10);
}

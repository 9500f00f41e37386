#include "SingleInstance.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <unistd.h>

namespace {
// How long a later start waits for the holder of the lock to listen: the
// first takes the lock and listens at once, within one start-up.
constexpr int HandOverWaitMs = 5000;
constexpr int RetryMs = 50;

QString DisplayName()
{
    const QString platform = QGuiApplication::platformName();
    const char* variable = platform == u"wayland" ? "WAYLAND_DISPLAY" : "DISPLAY";
    return QString(platform + u'-' + qEnvironmentVariable(variable)).replace(u'/', u'_');
}

QString InstanceName()
{
    const QDir runtime(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    return runtime.filePath(QStringLiteral("quorlex-%1-%2").arg(getuid()).arg(DisplayName()));
}

// The window on top, and any minimised window it belongs to.
void Activate(QWidget* window)
{
    for (QWidget* shown = window; shown; shown = shown->parentWidget())
        if (shown->isMinimized())
            shown->showNormal();
    window->raise();
    window->activateWindow();
}
}  // namespace

SingleInstance::SingleInstance() : m_strName(InstanceName()), m_lock(m_strName + QStringLiteral(".lock")) {}

bool SingleInstance::Claim()
{
    // A lock whose holder was killed is taken over by tryLock itself.
    const QDeadlineTimer deadline(HandOverWaitMs);
    while (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError)
            break;  // no lock can be had here: run unguarded rather than not at all
        if (HandOver())
            return false;
        if (deadline.hasExpired())
            break;  // a lock that nobody answers for is not honoured
        QThread::msleep(RetryMs);
    }
    Listen();
    return true;
}

// Connecting is the whole message.
bool SingleInstance::HandOver() const
{
    QLocalSocket socket;
    socket.connectToServer(m_strName);
    return socket.waitForConnected(RetryMs);
}

void SingleInstance::Listen()
{
    // A socket left by a killed instance would make listening fail.
    QLocalServer::removeServer(m_strName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_strName))
        QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] { OnNewConnection(); });
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection())
        delete socket;
    if (QWidget* window = QApplication::activeModalWidget())
        Activate(window);
}

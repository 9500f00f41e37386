#include "SingleInstance.h"
#include "X11Activation.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <unistd.h>

#include <memory>

namespace {
// How long a later start waits for the holder of the lock to listen: the
// first takes the lock and listens at once, within one start-up.
constexpr int HandOverWaitMs = 5000;
constexpr int RetryMs = 50;
// Far more than any command line: a larger message is not read.
constexpr qsizetype MaxMessageBytes = 4 * 1024 * 1024;
// On Wayland the compositor gives the focus to the window that asks with
// the token it handed to the later start.
constexpr char ActivationVariable[] = "XDG_ACTIVATION_TOKEN";

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
void Activate(QWidget* window, const QByteArray& startupId)
{
    for (QWidget* shown = window; shown; shown = shown->parentWidget())
        if (shown->isMinimized())
            shown->showNormal();
    window->raise();
    window->activateWindow();
    ActivateForLaunch(window, startupId);
}
}  // namespace

SingleInstance::SingleInstance() : m_strName(InstanceName()), m_lock(m_strName + QStringLiteral(".lock")) {}

bool SingleInstance::Claim(const QStringList& arguments, const QByteArray& startupId)
{
    // The token, the startup id and each argument, each ended by a NUL,
    // which no argument and no environment value can hold.
    QByteArray message = qgetenv(ActivationVariable) + '\0' + startupId + '\0';
    for (const QString& argument : arguments)
        message += argument.toUtf8() + '\0';
    // A lock whose holder was killed is taken over by tryLock itself.
    const QDeadlineTimer deadline(HandOverWaitMs);
    while (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError)
            break;  // no lock can be had here: run unguarded rather than not at all
        if (HandOver(message))
            return false;
        if (deadline.hasExpired())
            break;  // a lock that nobody answers for is not honoured
        QThread::msleep(RetryMs);
    }
    Listen();
    return true;
}

void SingleInstance::SetArgumentsHandler(std::function<void(const QStringList&)> handler)
{
    m_onArguments = std::move(handler);
}

// Once connected the running instance has been reached: a message cut
// short still raises its window.
bool SingleInstance::HandOver(const QByteArray& message) const
{
    QLocalSocket socket;
    socket.connectToServer(m_strName);
    if (!socket.waitForConnected(RetryMs))
        return false;
    socket.write(message);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(HandOverWaitMs);
    return true;
}

void SingleInstance::Listen()
{
    // A socket left by a killed instance would make listening fail.
    QLocalServer::removeServer(m_strName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_strName))
        QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] { OnNewConnection(); });
}

// A message is whole when its sender closes the connection.
void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        struct Received {
            QByteArray bytes;
            bool tooLong = false;
        };
        const auto received = std::make_shared<Received>();
        const auto read = [socket, received] {
            received->bytes += socket->readAll();
            if (received->bytes.size() > MaxMessageBytes) {
                received->tooLong = true;
                received->bytes.clear();
            }
        };
        QObject::connect(socket, &QLocalSocket::readyRead, socket, read);
        QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket, received, read] {
            read();
            socket->deleteLater();
            OnMessage(received->tooLong ? QByteArray() : received->bytes);
        });
    }
}

void SingleInstance::OnMessage(const QByteArray& message)
{
    QList<QByteArray> fields = message.split('\0');
    // Anything not ended by a NUL was cut short and is not taken.
    fields.removeLast();
    if (!fields.isEmpty() && !fields.front().isEmpty())
        qputenv(ActivationVariable, fields.front());
    QWidget* window = QApplication::activeModalWidget();
    if (!window)
        return;
    Activate(window, fields.value(1));
    QStringList arguments;
    for (qsizetype i = 2; i < fields.size(); ++i)
        arguments << QString::fromUtf8(fields[i]);
    if (m_onArguments)
        m_onArguments(arguments);
}

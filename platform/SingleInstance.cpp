#include "SingleInstance.h"
#include "X11Activation.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <unistd.h>

#include <memory>

namespace {
// How long a later start waits for the running instance to take its
// message in; the message is a few hundred bytes.
constexpr int HandOverWaitMs = 5000;
constexpr int RetryMs = 50;
// A word goes out in one command line of at most 1024 bytes and a refusal
// names 80 characters of it; a token and a startup id are far shorter.
constexpr qsizetype MaxMessageBytes = 8 * 1024;
// A later start sends at once and closes: a few connections at a time,
// each given a moment, are plenty.
constexpr qsizetype MaxHeldConnections = 4;
constexpr int SendMs = 1000;
// Well within the time a later start keeps trying.
constexpr int ListenCheckMs = 1000;
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

SingleInstance::SingleInstance() : m_strName(InstanceName()), m_lock(m_strName + QStringLiteral(".lock"))
{
    QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] { OnNewConnection(); });
    m_listenCheck.setInterval(ListenCheckMs);
    QObject::connect(&m_listenCheck, &QTimer::timeout, &m_server, [this] {
        if (!m_server.isListening())
            Listen();
    });
}

bool SingleInstance::Claim(const QStringList& request, const QByteArray& startupId)
{
    // The token, the startup id and each field, each ended by a NUL,
    // which no field and no environment value can hold.
    QByteArray message = qgetenv(ActivationVariable) + '\0' + startupId + '\0';
    for (const QString& field : request)
        message += field.toUtf8() + '\0';
    // A lock whose holder ended is taken over by tryLock itself; while the
    // holder lives it listens, or soon listens again: a second instance
    // beside it is what the lock is there to prevent.
    while (!m_lock.tryLock(0)) {
        if (m_lock.error() != QLockFile::LockFailedError)
            break;  // no lock can be had here: run unguarded rather than not at all
        if (HandOver(message))
            return false;
        QThread::msleep(RetryMs);
    }
    Listen();
    m_listenCheck.start();
    return true;
}

void SingleInstance::SetRequestHandler(std::function<void(const QStringList&)> handler)
{
    m_onRequest = std::move(handler);
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
    m_server.listen(m_strName);
}

// A message is whole when its sender closes the connection; one that runs
// past its bound or its time is dropped unread.
void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        // The oldest has been silent longest.
        if (m_held.size() == MaxHeldConnections)
            Drop(m_held.front());
        m_held << socket;
        socket->setReadBufferSize(MaxMessageBytes + 1);
        const auto received = std::make_shared<QByteArray>();
        const auto read = [this, socket, received] {
            *received += socket->read(MaxMessageBytes + 1 - received->size());
            if (received->size() <= MaxMessageBytes)
                return true;
            Drop(socket);
            return false;
        };
        QObject::connect(socket, &QLocalSocket::readyRead, &m_server, read);
        QObject::connect(socket, &QLocalSocket::disconnected, &m_server, [this, socket, received, read] {
            if (!read())
                return;
            Drop(socket);
            OnMessage(*received);
        });
        QTimer::singleShot(SendMs, socket, [this, socket] { Drop(socket); });
    }
}

void SingleInstance::Drop(QLocalSocket* socket)
{
    m_held.removeOne(socket);
    socket->disconnect(&m_server);
    socket->abort();
    socket->deleteLater();
}

void SingleInstance::OnMessage(const QByteArray& message)
{
    QList<QByteArray> fields = message.split('\0');
    // Anything not ended by a NUL was cut short and is not taken.
    fields.removeLast();
    if (!fields.isEmpty() && !fields.front().isEmpty())
        qputenv(ActivationVariable, fields.front());
    // Before the window exists the start's own box stands for it.
    if (QWidget* window = QApplication::activeModalWidget())
        Activate(window, fields.value(1));
    QStringList request;
    for (qsizetype i = 2; i < fields.size(); ++i)
        request << QString::fromUtf8(fields[i]);
    if (m_onRequest)
        m_onRequest(request);
}

// Servers that are never reached: a refusing port and a host name under
// the reserved .invalid domain. Run in a network namespace with loopback
// alone, so the name look-up cannot leave the machine. Addresses that
// drop or refuse, raced with others.
#include "ConnectionHarness.h"
#include "ScriptedDictServer.h"
#include "TcpConnector.h"
#include "TickWatch.h"
#include "UnacceptingListener.h"
#include "WaitUntil.h"
#include "WireLines.h"

#include <QFile>
#include <QHostInfo>
#include <QTest>

#include <QSocketNotifier>
#include <sys/socket.h>

#include <filesystem>

namespace {

constexpr int ImageClosed = 0;

// Interfaces in /proc/net/dev other than loopback.
int OtherInterfaces()
{
    QFile file("/proc/net/dev");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.contains(':') && line.trimmed().split(':').front() != "lo")
            ++count;
    return count;
}

}  // namespace

class tst_Unreachable : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void neverConnectedStaysClosed_data();
    void neverConnectedStaysClosed();
    void addressesAreRaced_data();
    void addressesAreRaced();
    void closedWhileConnectingLeavesNoDescriptor();
};

void tst_Unreachable::initTestCase()
{
    QCOMPARE(OtherInterfaces(), 0);
    QVERIFY(QHostInfo::fromName("no-such-host.invalid").error() != QHostInfo::NoError);
}

void tst_Unreachable::neverConnectedStaysClosed_data()
{
    QTest::addColumn<bool>("refusing");
    QTest::newRow("refusing port") << true;
    QTest::newRow("unresolvable host") << false;
}

// Each lookup tries to connect again, once, and the server stays closed.
void tst_Unreachable::neverConnectedStaysClosed()
{
    QFETCH(bool, refusing);
    ScriptedDictServer server;
    QVERIFY(server.Listen());
    const int port = server.Port();
    server.StopListening();
    const std::string host = refusing ? "127.0.0.1" : "no-such-host.invalid";
    const int error = refusing ? SocketError::ConnectionRefused : SocketError::HostNotFound;
    TickWatch watch;
    {
        ConnectionHarness harness(host, port);
        QVERIFY(WaitUntil([&] { return harness.Connection().ConnectErrors().size() == 1; }));
        harness.Connection().Define("apple");
        QVERIFY(WaitUntil([&] { return harness.Connection().ConnectErrors().size() == 2; }));
        QCOMPARE(harness.Connection().ConnectErrors(), std::vector<int>(2, error));
        QCOMPARE(harness.Connection().GetState(), ConnectionState::Closed);
        QVERIFY(watch.GrewLessThanKb(16 * 1024));
        QCOMPARE(harness.RootImages(), std::vector<int>{ImageClosed});
        QVERIFY(harness.Transcript().isEmpty());
    }
    QCOMPARE(server.ConnectionCount(), 0);
}

void tst_Unreachable::addressesAreRaced_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<QString>("outcome");
    const int delay = static_cast<int>(TcpConnector::AttemptDelay.count());
    const int limit = static_cast<int>(TcpConnector::TimeLimit.count());
    // The kernel alone would give up on the first address after two minutes.
    QTest::newRow("first drops") << QStringList{"::1 drops", "127.0.0.1 accepts"} << delay << limit << "127.0.0.1";
    QTest::newRow("every address drops") << QStringList{"::1 drops", "127.0.0.2 drops"} << delay << 500 << "timed out";
    // Within the hour only the refusal starts the next attempt: the other family's.
    QTest::newRow("first refuses") << QStringList{"127.0.0.2 refuses", "127.0.0.3 accepts", "::1 accepts"} << 3600000
                                   << limit << "::1";
    QTest::newRow("removed") << QStringList{"::1 drops", "127.0.0.1 accepts"} << delay << limit << "nothing";
}

// Raced as a look-up's result, the addresses leave one descriptor open:
// the first to connect. A connector removed leaves none and reports nothing.
void tst_Unreachable::addressesAreRaced()
{
    QFETCH(QStringList, addresses);
    QFETCH(int, delayMs);
    QFETCH(int, limitMs);
    QFETCH(QString, outcome);
    std::vector<std::unique_ptr<UnacceptingListener>> listeners;
    QList<QHostAddress> raced;
    quint16 port = 0;
    for (const QString& entry : addresses) {
        raced.append(QHostAddress(entry.section(' ', 0, 0)));
        if (!entry.endsWith("refuses")) {
            listeners.push_back(std::make_unique<UnacceptingListener>());
            QVERIFY(listeners.back()->Listen(raced.back(), port, entry.endsWith("drops")));
            port = listeners.back()->server.serverPort();
        }
    }
    const auto openDescriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto before = openDescriptors();
    QTcpSocket connected;
    QStringList reports;
    auto connector = std::make_unique<TcpConnector>([&](int fd, int error) {
        reports.append(connected.setSocketDescriptor(fd)    ? connected.peerAddress().toString()
                           : error == SocketError::TimedOut ? "timed out"
                                                            : QString::number(error));
    });
    connector->SetTiming(std::chrono::milliseconds(delayMs), std::chrono::milliseconds(limitMs));
    connector->Start(raced, port);
    // Removed, three delays to report nothing; else a minute, half the kernel's time-out.
    if (outcome == "nothing")
        connector.reset();
    WaitUntil([&] { return !reports.isEmpty(); }, outcome == "nothing" ? 3 * delayMs : 60000);
    QCOMPARE(reports, outcome == "nothing" ? QStringList() : QStringList{outcome});
    QCOMPARE(openDescriptors(), before + connected.isValid());
}

// Closed in the turn its connect is done, before or after the connector
// reported (an always-ready notifier runs on either side of the connector's).
void tst_Unreachable::closedWhileConnectingLeavesNoDescriptor()
{
    UnacceptingListener listener;
    QVERIFY(listener.Listen(QHostAddress::LocalHost, 0, false));
    int pair[2];
    QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    const auto openDescriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    for (int i = 0; i < 16; ++i) {
        const auto before = openDescriptors();
        auto harness = std::make_unique<ConnectionHarness>("127.0.0.1", listener.server.serverPort());
        QSocketNotifier ready(pair[0], QSocketNotifier::Write);
        QObject::connect(&ready, &QSocketNotifier::activated, [&] { harness.reset(); });
        QVERIFY(WaitUntil([&] { return !harness; }));
        QCOMPARE(openDescriptors(), before);
    }
}

QTEST_MAIN(tst_Unreachable)
#include "tst_Unreachable.moc"

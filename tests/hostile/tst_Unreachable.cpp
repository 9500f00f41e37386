// Servers that are never reached: a refusing port and a host name under
// the reserved .invalid domain. Run in a network namespace with loopback
// alone, so the name look-up cannot leave the machine.
#include "ConnectionHarness.h"
#include "ScriptedDictServer.h"
#include "TickWatch.h"
#include "WaitUntil.h"
#include "WireLines.h"

#include <QFile>
#include <QHostInfo>
#include <QTest>

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

QTEST_MAIN(tst_Unreachable)
#include "tst_Unreachable.moc"

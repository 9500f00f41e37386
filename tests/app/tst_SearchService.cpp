// The desktop's search over a session bus of the test's own: the service
// is started by the bus from the build tree's service file, and talks to
// the fixture dictd (127.0.0.1) and a scripted server (127.0.0.2).
#include "ClientApp.h"
#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "DictdPort.h"
#include "FileBytes.h"
#include "MainWindow.h"
#include "RegStore.h"
#include "ScriptedDictServer.h"
#include "SessionBus.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
constexpr char Service[] = "org.tallowmere.Quorlex.SearchProvider";
constexpr char ProviderPath[] = "/org/tallowmere/Quorlex/SearchProvider";
constexpr char RunnerPath[] = "/org/tallowmere/Quorlex/Runner";
constexpr char Shell[] = "org.gnome.Shell.SearchProvider2";
constexpr char Runner[] = "org.kde.krunner1";
// Past the service's own wait for slow servers.
constexpr int ReplyMs = 20000;

QString Id(const char* host, const char* database)
{
    return QString(host) + '\x1f' + database;
}
}  // namespace

class SearchServiceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void answersTheDesktopsSearch_data();
    void answersTheDesktopsSearch();
    void supersededQueryIsAnsweredEmpty();
    void activatedResultReachesTheRunningWindow();

private:
    QDBusMessage Call(const char* path, const char* interface, const char* method, const QVariantList& arguments);
    // The ids of a shell's result set or a runner's matches.
    QStringList Ids(const QDBusMessage& reply) const;
    QStringList DefinesReceived() const;

    QTemporaryDir m_home;
    ScriptedDictServer m_server;
    std::unique_ptr<SessionBus> m_bus;
};

void SearchServiceTest::initTestCase()
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    QVERIFY(m_home.isValid());
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        qputenv(variable, m_home.path().toUtf8());
    // The window's transcript of an earlier run.
    QFile::remove("127.0.0.2.log");
    QVERIFY(m_server.Listen("127.0.0.2"));
    m_server.EnableDefaultDictResponder();
    QVERIFY(DictdPort() > 0);
    WriteFileBytes(RegStore::FilePath(),
                   QString("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\"
                           "Servers]\n\"127.0.0.1\"=dword:%1\n\"127.0.0.2\"=dword:%2\n")
                       .arg(DictdPort(), 8, 16, QChar('0'))
                       .arg(m_server.Port(), 8, 16, QChar('0'))
                       .toUtf8());
    m_bus = std::make_unique<SessionBus>(m_home.path(), QUORLEX_DBUS_SERVICE_DIR);
    const QDBusConnection bus = QDBusConnection::connectToBus(m_bus->Address(), "test");
    QVERIFY2(bus.isConnected(), qPrintable(m_bus->Address() + ": " + bus.lastError().message()));
}

QDBusMessage SearchServiceTest::Call(const char* path, const char* interface, const char* method,
                                     const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection("test").call(call, QDBus::BlockWithGui, ReplyMs);
}

QStringList SearchServiceTest::Ids(const QDBusMessage& reply) const
{
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {"error: " + reply.errorMessage()};
    if (reply.signature() == "as")
        return reply.arguments().value(0).toStringList();
    QStringList ids;
    const QDBusArgument matches = reply.arguments().value(0).value<QDBusArgument>();
    matches.beginArray();
    while (!matches.atEnd()) {
        QString id, text, icon;
        int type = 0;
        double relevance = 0;
        QVariantMap properties;
        matches.beginStructure();
        matches >> id >> text >> icon >> type >> relevance >> properties;
        matches.endStructure();
        ids << id + " | " + text + " | " + properties.value("subtext").toString();
    }
    matches.endArray();
    return ids;
}

QStringList SearchServiceTest::DefinesReceived() const
{
    QStringList defines;
    for (int connection = 0; connection < m_server.ConnectionCount(); ++connection)
        defines << m_server.ReceivedLines(connection).filter("DEFINE");
    return defines;
}

// Each row's query, then one the servers answer, so that anything the
// row's query sent is in the scripted server's lines before they are read.
void SearchServiceTest::answersTheDesktopsSearch_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("dictdIds");
    QTest::addColumn<QStringList>("scriptedIds");
    QTest::addColumn<QStringList>("defines");
    // The metas of one result: name, description, clipboard text, icon.
    QTest::addColumn<QString>("metaId");
    QTest::addColumn<QStringList>("meta");
    const QStringList apple = {Id("127.0.0.1", "gcide"), Id("127.0.0.1", "wn"), Id("127.0.0.1", "foldoc"),
                               Id("127.0.0.1", "fd-eng-deu")};
    // Activation from the service file: the first call starts the service.
    QTest::newRow("shell, a word") << "GetInitialResultSet"
                                   << "apple" << apple << QStringList{Id("127.0.0.2", "gcide"), Id("127.0.0.2", "wn")}
                                   << QStringList{"DEFINE * \"apple\""} << Id("127.0.0.2", "gcide")
                                   << QStringList{"apple \u2014 The Collaborative International Dictionary of English "
                                                  "v.0.48",
                                                  "Apple \\Ap\"ple\\, n.",
                                                  "Apple \\Ap\"ple\\, n.\n   The fleshy pome or fruit of a rosaceous "
                                                  "tree.\n\n   See {Crab apple}.\n",
                                                  "(sv)"};
    const QStringList iceCream = {Id("127.0.0.1", "gcide"), Id("127.0.0.1", "wn"), Id("127.0.0.1", "fd-eng-deu")};
    QTest::newRow("shell, terms are one word")
        << "GetInitialResultSet"
        << "ice cream" << iceCream << QStringList{Id("127.0.0.2", "wn")} << QStringList{"DEFINE * \"ice cream\""}
        << Id("127.0.0.1", "foldoc") << QStringList{};
    QTest::newRow("shell, two characters send nothing")
        << "GetInitialResultSet"
        << "ab" << QStringList{} << QStringList{} << QStringList{} << QString() << QStringList{};
    QTest::newRow("shell, a control character sends nothing")
        << "GetInitialResultSet"
        << "app\tle" << QStringList{} << QStringList{} << QStringList{} << QString() << QStringList{};
    QTest::newRow("runner, without the trigger word")
        << "Match"
        << "apple" << QStringList{} << QStringList{} << QStringList{} << QString() << QStringList{};
    QTest::newRow("runner, with the trigger word")
        << "Match"
        << "define ice cream"
        << QStringList{iceCream[0]
                           + " | Ice \\Ice\\ ([imac]s), n. [OE. is, iis, AS. [imac]s; aksin to D. | The "
                             "Collaborative International Dictionary of English v.0.48",
                       iceCream[1] + " | ice cream | WordNet (r) 3.0 (2006)",
                       iceCream[2]
                           + " | ice cream /\u02C8a\u026As k\u0279\u02C8i\u02D0m/ | English - German "
                             "Ding/FreeDict dictionary ver. 1.9-fd1"}
        << QStringList{Id("127.0.0.2", "wn") + " | ice cream | WordNet (r) 3.0 (2006)"}
        << QStringList{"DEFINE * \"ice cream\""} << QString() << QStringList{};
}

void SearchServiceTest::answersTheDesktopsSearch()
{
    QFETCH(QString, method);
    QFETCH(QString, query);
    QFETCH(QStringList, dictdIds);
    QFETCH(QStringList, scriptedIds);
    QFETCH(QStringList, defines);
    QFETCH(QString, metaId);
    QFETCH(QStringList, meta);
    const QStringList before = DefinesReceived();
    const bool shell = method == "GetInitialResultSet";
    const QVariant terms = shell ? QVariant(query.split(' ')) : QVariant(query);
    const QStringList ids =
        Ids(Call(shell ? ProviderPath : RunnerPath, shell ? Shell : Runner, qPrintable(method), {terms}));
    QCOMPARE(ids.filter(QRegularExpression("^127.0.0.1\x1f")), dictdIds);
    QCOMPARE(ids.filter(QRegularExpression("^127.0.0.2\x1f")), scriptedIds);
    // An id not of the latest answer has no metas.
    const QDBusMessage metas = Call(ProviderPath, Shell, "GetResultMetas", {QStringList{metaId}});
    const auto found = qdbus_cast<QList<QVariantMap>>(metas.arguments().value(0));
    QStringList shown;
    for (const QVariantMap& result : found)
        shown << result.value("name").toString() << result.value("description").toString()
              << result.value("clipboardText").toString()
              << result.value("icon").value<QDBusArgument>().currentSignature();
    QCOMPARE(shown, meta);
    QCOMPARE(Ids(Call(ProviderPath, Shell, "GetInitialResultSet", {QStringList{"qqqzzz"}})).size(), 0);
    QCOMPARE(DefinesReceived().mid(before.size()), defines + QStringList{"DEFINE * \"qqqzzz\""});
}

// The second query reaches the service before any server answers the
// first, which the service then answers empty and leaves behind.
void SearchServiceTest::supersededQueryIsAnsweredEmpty()
{
    QDBusConnection bus("test");
    QDBusMessage call = QDBusMessage::createMethodCall(Service, ProviderPath, Shell, "GetInitialResultSet");
    QDBusPendingCall first = bus.asyncCall(call << QStringList{"apple"}, ReplyMs);
    call.setArguments({QStringList{"ice", "cream"}});
    QDBusPendingCall second = bus.asyncCall(call, ReplyMs);
    QVERIFY(WaitUntil([&] { return first.isFinished() && second.isFinished(); }, ReplyMs));
    QCOMPARE(Ids(first.reply()), QStringList{});
    QCOMPARE(Ids(second.reply()).filter(QRegularExpression("^127.0.0.2\x1f")), QStringList{Id("127.0.0.2", "wn")});
}

void SearchServiceTest::activatedResultReachesTheRunningWindow()
{
    // Until then the service left the store and the window's folder alone.
    QVERIFY(QFile::exists(m_home.path() + "/quorlex/127.0.0.2.log"));
    QVERIFY(!QFile::exists("127.0.0.2.log"));
    QVERIFY(ReadFileBytes(RegStore::FilePath())
                .endsWith(QString("\"127.0.0.2\"=dword:%1\n").arg(m_server.Port(), 8, 16, QChar('0')).toUtf8()));
    bool selected = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<MainWindow*>(QApplication::activeModalWidget());
        if (window) {
            Call(ProviderPath, Shell, "ActivateResult", {Id("127.0.0.1", "wn"), QStringList{"apple"}, 0u});
            selected = WaitUntil(
                [&] {
                    const DictConnection* dictd = ConnectionRegistry::Instance().FindConnection("127.0.0.1");
                    return window->WordBox()->text() == "apple" && window->Tree().GetSelectedItem()
                        && window->Tree().GetSelectedItem() == dictd->FindDatabaseItem("wn");
                },
                ReplyMs);
        }
        ConnectionRegistry::Instance().RemoveAllServers();
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            open->reject();
    });
    ClientApp().InitInstance();
    QVERIFY(selected);
}

QTEST_MAIN(SearchServiceTest)
#include "tst_SearchService.moc"

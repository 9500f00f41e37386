// The desktop's search on a bus of the test's own, which activates the build
// tree's service file: the fixture dictd on 127.0.0.1, a scripted server on 127.0.0.2.
#include "ClientApp.h"
#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "DictdPort.h"
#include "FileBytes.h"
#include "MainWindow.h"
#include "RegStore.h"
#include "ScriptedDictServer.h"
#include "ServerListStore.h"
#include "WaitUntil.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <csignal>

namespace {
constexpr char Service[] = "org.tallowmere.Quorlex.SearchProvider";
// Past the service's own wait for slow servers.
constexpr int ReplyMs = 20000;

// The start of a result's id: its server, then the database.
const QString Dictd = "127.0.0.1\x1f";
const QString Scripted = "127.0.0.2\x1f";

// A call to the shell's provider, or to the runner for Match.
QDBusMessage Message(const char* method, const QVariantList& arguments)
{
    const bool runner = qstrcmp(method, "Match") == 0;
    QDBusMessage call = QDBusMessage::createMethodCall(
        Service, runner ? "/org/tallowmere/Quorlex/Runner" : "/org/tallowmere/Quorlex/SearchProvider",
        runner ? "org.kde.krunner1" : "org.gnome.Shell.SearchProvider2", method);
    call.setArguments(arguments);
    return call;
}

// A result set's ids, a runner's matches as "id | text | subtext", or an
// error's message.
QStringList Ids(const QDBusMessage& reply)
{
    if (reply.signature() != "a(sssida{sv})")
        return reply.arguments().value(0).toStringList();
    QStringList ids;
    const QDBusArgument matches = reply.arguments().value(0).value<QDBusArgument>();
    matches.beginArray();
    while (!matches.atEnd()) {
        QVariantList match;  // id, text, icon, type, relevance, properties
        matches.beginStructure();
        while (!matches.atEnd())
            match << matches.asVariant();
        matches.endStructure();
        ids << match[0].toString() + " | " + match[1].toString() + " | "
                + qdbus_cast<QVariantMap>(match.value(5)).value("subtext").toString();
    }
    matches.endArray();
    return ids;
}
}  // namespace

class SearchServiceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void answersTheDesktopsSearch_data();
    void answersTheDesktopsSearch();
    void activatedResultReachesTheRunningWindow();

private:
    QTemporaryDir m_home;
    ScriptedDictServer m_server;
    QByteArray m_stored;
};

void SearchServiceTest::initTestCase()
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QVERIFY(m_home.isValid());
    // The service the bus starts shares the test's home.
    QMap<QString, QString> environment;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        qputenv(variable, m_home.path().toUtf8());
        environment[variable] = m_home.path();
    }
    const QDBusMessage updated = QDBusConnection::sessionBus().interface()->call("UpdateActivationEnvironment",
                                                                                 QVariant::fromValue(environment));
    QCOMPARE(updated.type(), QDBusMessage::ReplyMessage);
    // The window's transcript of an earlier run.
    QFile::remove("127.0.0.2.log");
    QVERIFY(m_server.Listen("127.0.0.2"));
    m_server.EnableDefaultDictResponder();
    QVERIFY(DictdPort() > 0);
    QVERIFY(ServerListStore::Save({{"127.0.0.1", DictdPort()}, {"127.0.0.2", m_server.Port()}}));
    m_stored = ReadFileBytes(RegStore::FilePath());
}

// The service would outlive the bus for its idle minute.
void SearchServiceTest::cleanupTestCase()
{
    const auto pid = QDBusConnection::sessionBus().interface()->servicePid(Service);
    QVERIFY(pid.isValid());
    ::kill(static_cast<pid_t>(pid.value()), SIGTERM);
}

// Each row's query, then one the servers answer, so that all the first sent
// is in the scripted server's lines; the ids are the dictd's, then its own.
void SearchServiceTest::answersTheDesktopsSearch_data()
{
    // Sent at once: each answered empty once the next supersedes it.
    QTest::addColumn<QList<QDBusMessage>>("calls");
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("defines");
    // The metas of one result: id, name, description, clipboard text, icon.
    QTest::addColumn<QStringList>("meta");
    // Activation from the service file: the first call starts the service.
    QTest::newRow("shell, a word") << QList{Message("GetInitialResultSet", {QStringList{"apple"}})}
                                   << QStringList{Dictd + "gcide",      Dictd + "wn",       Dictd + "foldoc",
                                                  Dictd + "fd-eng-deu", Scripted + "gcide", Scripted + "wn"}
                                   << QStringList{"DEFINE * \"apple\""} << QStringList{};
    QTest::newRow("shell, terms are one word")
        << QList{Message("GetInitialResultSet", {QStringList{"ice", "cream"}})}
        << QStringList{Dictd + "gcide", Dictd + "wn", Dictd + "fd-eng-deu", Scripted + "wn"}
        << QStringList{"DEFINE * \"ice cream\""}
        << QStringList{Dictd + "wn", "ice cream \u2014 WordNet (r) 3.0 (2006)", "ice cream",
                       "ice cream\n    n 1: frozen dessert containing cream and sugar and flavoring\n         [syn: "
                       "{ice cream}, {icecream}]\n",
                       "(sv)"};
    QTest::newRow("shell, two characters send nothing") << QList{Message("GetInitialResultSet", {QStringList{"ab"}})}
                                                        << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("shell, a control character sends nothing")
        << QList{Message("GetSubsearchResultSet", {QStringList{"app"}, QStringList{"app\tle"}})} << QStringList{}
        << QStringList{} << QStringList{};
    QTest::newRow("shell, a word superseded is answered empty")
        << QList{Message("GetInitialResultSet", {QStringList{"apple"}}),
                 Message("GetInitialResultSet", {QStringList{"ice cream"}})}
        << QStringList{Dictd + "gcide", Dictd + "wn", Dictd + "fd-eng-deu", Scripted + "wn"}
        << QStringList{"DEFINE * \"apple\"", "DEFINE * \"ice cream\""} << QStringList{};
    QTest::newRow("runner, without the trigger word")
        << QList{Message("Match", {"apple"})} << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("runner, with the trigger word")
        << QList{Message("Match", {"define ice cream"})}
        << QStringList{Dictd
                           + "gcide | Ice \\Ice\\ ([imac]s), n. [OE. is, iis, AS. [imac]s; aksin to D. | The "
                             "Collaborative International Dictionary of English v.0.48",
                       Dictd + "wn | ice cream | WordNet (r) 3.0 (2006)",
                       Dictd
                           + "fd-eng-deu | ice cream /\u02C8a\u026As k\u0279\u02C8i\u02D0m/ | English - German "
                             "Ding/FreeDict dictionary ver. 1.9-fd1",
                       Scripted + "wn | ice cream | WordNet (r) 3.0 (2006)"}
        << QStringList{"DEFINE * \"ice cream\""} << QStringList{};
}

void SearchServiceTest::answersTheDesktopsSearch()
{
    QFETCH(QList<QDBusMessage>, calls);
    QFETCH(QStringList, ids);
    QFETCH(QStringList, defines);
    QFETCH(QStringList, meta);
    const qsizetype before = m_server.ReceivedLines().filter("DEFINE").size();
    QList<QDBusPendingCall> replies;
    for (const QDBusMessage& call : calls)
        replies << QDBusConnection::sessionBus().asyncCall(call, ReplyMs);
    QStringList answer;
    for (const QDBusPendingCall& reply : replies) {
        QCOMPARE(answer, QStringList{});
        QVERIFY(WaitUntil([&] { return reply.isFinished(); }, ReplyMs));
        answer = Ids(reply.reply());
    }
    std::ranges::stable_sort(answer, {}, [](const QString& id) { return id.section('\x1f', 0, 0); });
    QCOMPARE(answer, ids);
    // An id of no result (the scripted server has no such database) has no metas.
    const QDBusMessage metas = QDBusConnection::sessionBus().call(
        Message("GetResultMetas", {QStringList{Scripted + "foldoc", meta.value(0)}}), QDBus::Block);
    QStringList shown;
    for (const QVariantMap& result : qdbus_cast<QList<QVariantMap>>(metas.arguments().value(0)))
        shown << result.value("id").toString() << result.value("name").toString()
              << result.value("description").toString() << result.value("clipboardText").toString()
              << result.value("icon").value<QDBusArgument>().currentSignature();
    QCOMPARE(shown, meta);
    const QDBusMessage barrier = Message("GetInitialResultSet", {QStringList{"qqqzzz"}});
    QCOMPARE(Ids(QDBusConnection::sessionBus().call(barrier, QDBus::BlockWithGui, ReplyMs)), QStringList{});
    QCOMPARE(m_server.ReceivedLines().filter("DEFINE").mid(before), defines + QStringList{"DEFINE * \"qqqzzz\""});
}

void SearchServiceTest::activatedResultReachesTheRunningWindow()
{
    // Until then the service left the store and the window's folder alone.
    QVERIFY(QFile::exists(m_home.path() + "/quorlex/127.0.0.2.log"));
    QVERIFY(!QFile::exists("127.0.0.2.log"));
    QCOMPARE(ReadFileBytes(RegStore::FilePath()), m_stored);
    bool selected = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<MainWindow*>(QApplication::activeModalWidget());
        if (window) {
            QDBusConnection::sessionBus().call(Message("ActivateResult", {Dictd + "wn", QStringList{"apple"}, 0u}));
            const DictConnection* dictd = ConnectionRegistry::Instance().FindConnection("127.0.0.1");
            const auto wn = [&] { return dictd->FindDatabaseItem("wn"); };
            selected = WaitUntil([&] { return wn() && window->Tree().GetSelectedItem() == wn(); }, ReplyMs)
                && window->WordBox()->text() == "apple";
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

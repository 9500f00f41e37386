#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "FileBytes.h"
#include "MessageBox.h"
#include "RegStore.h"
#include "TreeCtrl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

#include <csignal>
#include <set>

namespace {
const QByteArray Header =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tallowmere\\Quorlex\\Servers]\n";

QString Describe(const MessageBoxRecord& record)
{
    return QString::fromStdString(record.text + "|" + record.caption + "|")
        + QString::number(static_cast<int>(record.icon));
}
}  // namespace

class TestServerListStore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void loadAndSave_data();
    void loadAndSave();
    void changesWithoutASaveDoNotReachTheStore();
    void unusableFileGivesTheLoadMessageAndIsKept_data();
    void unusableFileGivesTheLoadMessageAndIsKept();
    void unwritableFolderGivesBothMessagesAndLosesNothing();
    void saveKilledAtAnyPointLeavesAWholeFile();

private:
    QStringList Roots() const;
    QString ErrorMessage(const std::string& text) const;

    QTreeWidget m_widget;
    TreeCtrl m_tree{&m_widget};
    std::unique_ptr<QTemporaryDir> m_pHome;
    QStringList m_messages;
};

void TestServerListStore::initTestCase()
{
    ConnectionRegistry::Instance().AttachTree(&m_tree);
    SetMessageBoxObserver([this](const MessageBoxRecord& record) { m_messages << Describe(record); });
}

void TestServerListStore::init()
{
    ConnectionRegistry::Instance().RemoveAllServers();
    m_messages.clear();
    m_pHome = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_pHome->path().toUtf8());
}

QStringList TestServerListStore::Roots() const
{
    QStringList roots;
    for (int i = 0; i < m_tree.GetRootCount(); ++i)
        roots << QString::fromStdString(m_tree.GetItemText(m_tree.GetRootItem(i)));
    return roots;
}

QString TestServerListStore::ErrorMessage(const std::string& text) const
{
    return Describe({text, "Error", MessageIcon::Error});
}

void TestServerListStore::loadAndSave_data()
{
    QTest::addColumn<QByteArray>("stored");  // values under the key; null: no file at all
    QTest::addColumn<bool>("removeLoaded");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("loaded");  // root nodes, in load order
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QStringList>("reloaded");

    QTest::newRow("first run creates the key")
        << QByteArray() << false << QStringList() << QStringList() << QByteArray() << QStringList();
    QTest::newRow("dword and text value")
        << QByteArray("\"127.0.0.5\"=dword:00000a44\n\"note\"=\"a text value\"\n") << false << QStringList()
        << QStringList{"127.0.0.5:2628"} << QByteArray("\"127.0.0.5\"=dword:00000a44\n")
        << QStringList{"127.0.0.5:2628"};
    QTest::newRow("ports 0 and 70000 unchanged")
        << QByteArray("\"127.0.0.7\"=dword:00000000\n\"127.0.0.6\"=dword:00011170\n") << false << QStringList()
        << QStringList{"127.0.0.7:0", "127.0.0.6:70000"}
        << QByteArray("\"127.0.0.6\"=dword:00011170\n\"127.0.0.7\"=dword:00000000\n")
        << QStringList{"127.0.0.6:70000", "127.0.0.7:0"};
    QTest::newRow("negative port, other types skipped")
        << QByteArray("\"bin\"=hex:01,02,03,04\n\"127.0.0.8\"=dword:ffffffff\n\"short\"=hex(4):01,02\n") << false
        << QStringList() << QStringList{"127.0.0.8:-1"} << QByteArray("\"127.0.0.8\"=dword:ffffffff\n")
        << QStringList{"127.0.0.8:-1"};
    QTest::newRow("empty save leaves an empty key")
        << QByteArray("\"127.0.0.5\"=dword:00000a44\n") << true << QStringList() << QStringList{"127.0.0.5:2628"}
        << QByteArray() << QStringList();
    QTest::newRow("case-folded names collapse to the later")
        << QByteArray() << false << QStringList{"localhost:2222", "LOCALHOST:1111"} << QStringList()
        << QByteArray("\"localhost\"=dword:000008ae\n") << QStringList{"localhost:2222"};
    QTest::newRow("added servers saved in byte order")
        << QByteArray("\"127.0.0.9\"=dword:00000001\n") << false << QStringList{"LOCALHOST:8", "127.0.0.10:7"}
        << QStringList{"127.0.0.9:1"}
        << QByteArray("\"127.0.0.10\"=dword:00000007\n\"127.0.0.9\"=dword:00000001\n\"LOCALHOST\"=dword:00000008\n")
        << QStringList{"127.0.0.10:7", "127.0.0.9:1", "LOCALHOST:8"};
    // Never a connection, whose transcript the cut name would truncate.
    QTest::newRow("NUL in a host kept, not loaded")
        << QByteArray("\"127.0.0.5\"=dword:00000a44\n\"victim\0x\"=dword:00000a44\n", 53) << false << QStringList()
        << QStringList{"127.0.0.5:2628"}
        << QByteArray("\"victim\0x\"=dword:00000a44\n\"127.0.0.5\"=dword:00000a44\n", 53)
        << QStringList{"127.0.0.5:2628"};
    QTest::newRow("deletion and garbage lines kept")
        << QByteArray("\"127.0.0.5\"=dword:00000a44\n\"old\"=-\ngarbage\n\"127.0.0.6\"=dword:00000001\n") << false
        << QStringList() << QStringList{"127.0.0.5:2628", "127.0.0.6:1"}
        << QByteArray("\"old\"=-\ngarbage\n\"127.0.0.5\"=dword:00000a44\n\"127.0.0.6\"=dword:00000001\n")
        << QStringList{"127.0.0.5:2628", "127.0.0.6:1"};
}

void TestServerListStore::loadAndSave()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, removeLoaded);
    QFETCH(QStringList, added);
    QFETCH(QStringList, loaded);
    QFETCH(QByteArray, saved);
    QFETCH(QStringList, reloaded);
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    if (!stored.isNull())
        WriteFileBytes(RegStore::FilePath(), Header + stored);

    registry.LoadServerList();
    QCOMPARE(Roots(), loaded);
    QVERIFY(QFileInfo::exists(RegStore::FilePath()));
    if (removeLoaded)
        registry.RemoveAllServers();
    for (const QString& server : added)
        registry.AddServer(server.section(u':', 0, 0).toStdString(), server.section(u':', 1).toInt());
    registry.SaveServerList();
    QCOMPARE(ReadFileBytes(RegStore::FilePath()), Header + saved + "\n");

    registry.RemoveAllServers();
    registry.LoadServerList();
    QCOMPARE(Roots(), reloaded);
    QCOMPARE(m_messages, QStringList());
}

void TestServerListStore::changesWithoutASaveDoNotReachTheStore()
{
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    registry.AddServer("127.0.0.5", 5);
    registry.AddServer("127.0.0.6", 6);
    registry.SaveServerList();
    registry.RemoveServer("127.0.0.5");
    registry.AddServer("127.0.0.7", 7);
    // The program ends without saving: the next run has the old list.
    registry.RemoveAllServers();
    registry.LoadServerList();
    QCOMPARE(Roots(), (QStringList{"127.0.0.5:5", "127.0.0.6:6"}));
    QCOMPARE(m_messages, QStringList());
}

void TestServerListStore::unusableFileGivesTheLoadMessageAndIsKept_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("changed");
    QTest::newRow("not a store") << "not a store" << true;
    QTest::newRow("store that cannot be read, list unchanged") << "unreadable" << false;
    QTest::newRow("store that cannot be read, list changed") << "unreadable" << true;
    QTest::newRow("store locked by another program, list unchanged") << "locked" << false;
    QTest::newRow("store locked by another program, list changed") << "locked" << true;
}

void TestServerListStore::unusableFileGivesTheLoadMessageAndIsKept()
{
    QFETCH(QString, failure);
    QFETCH(bool, changed);
    const QByteArray content = (failure == "not a store" ? QByteArray() : Header) + "\"127.0.0.5\"=dword:00000a44\n";
    // A folder in the file's place cannot be read, even by root; "list" holds its bytes.
    const QString inside = failure == "unreadable" ? "/list" : QString();
    WriteFileBytes(RegStore::FilePath() + inside, content);
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    {
        QLockFile otherProgram(RegStore::FilePath() + ".lock");
        RegStore::SetLockTimeout(50);
        QVERIFY(failure != "locked" || otherProgram.tryLock());
        registry.LoadServerList();
        RegStore::SetLockTimeout(5000);
    }
    QCOMPARE(m_messages, QStringList{ErrorMessage("Failed to load server list")});
    QCOMPARE(Roots(), QStringList());
    if (changed)
        registry.AddServer("127.0.0.9", 2628);
    registry.SaveServerList();
    registry.SaveServerList();
    QCOMPARE(m_messages.size(), 1);
    if (!changed) {
        QCOMPARE(ReadFileBytes(RegStore::FilePath() + inside), content);
        QVERIFY(!QFileInfo::exists(RegStore::FilePath() + ".unreadable-1"));
        return;
    }
    // Saved twice: the second save replaces this run's own list, set aside once.
    QCOMPARE(ReadFileBytes(RegStore::FilePath()), Header + "\"127.0.0.9\"=dword:00000a44\n\n");
    QCOMPARE(ReadFileBytes(RegStore::FilePath() + ".unreadable-1" + inside), content);
    QVERIFY(!QFileInfo::exists(RegStore::FilePath() + ".unreadable-2"));
}

void TestServerListStore::unwritableFolderGivesBothMessagesAndLosesNothing()
{
    // Tests run as root, which ignores permissions: a file blocks the folder.
    const QString blocker = m_pHome->path() + "/Tallowmere";
    WriteFileBytes(blocker, "not a folder");
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    registry.LoadServerList();
    QCOMPARE(m_messages, QStringList{ErrorMessage("Failed to load server list")});
    registry.AddServer("127.0.0.9", 2628);
    registry.SaveServerList();
    QCOMPARE(m_messages,
             (QStringList{ErrorMessage("Failed to load server list"), ErrorMessage("Failed to save server list")}));
    QCOMPARE(ReadFileBytes(blocker), QByteArray("not a folder"));
    QVERIFY(registry.HasServer("127.0.0.9"));
}

void TestServerListStore::saveKilledAtAnyPointLeavesAWholeFile()
{
    int generations[2] = {0, 0};
    for (int round = 0; round < 30; ++round) {
        QProcess saver;
        saver.start(QStringLiteral(STORE_SAVE_LOOP), {});
        QVERIFY(saver.waitForStarted());
        QVERIFY(QTest::qWaitFor(
            [&] { return saver.readAllStandardOutput().contains("saved") || saver.state() != QProcess::Running; },
            10000));
        QCOMPARE(saver.state(), QProcess::Running);
        QThread::usleep(static_cast<unsigned long>((round * 7919) % 40000));
        ::kill(static_cast<pid_t>(saver.processId()), SIGKILL);
        QVERIFY(saver.waitForFinished());

        // The killed saver's lock is stale; the file is one whole list.
        RegStore key;
        QVERIFY2(key.Open("Software\\Tallowmere\\Quorlex\\Servers"), qPrintable(QString::number(round)));
        RegValue value;
        std::set<int> hosts;
        int base = 0;
        for (std::size_t index = 0; key.EnumValue(index, value) == RegResult::Success; ++index) {
            const int port = static_cast<int>(DwordNumber(value.data));
            base = index == 0 ? port - port % 1000 : base;
            const QString name = QString::fromStdString(value.name);
            QVERIFY(name.startsWith("127.0.1."));
            const int host = name.section(u'.', 3).toInt();
            QCOMPARE(port, base + host - 1);
            hosts.insert(host);
        }
        QCOMPARE(hosts.size(), 100u);
        QCOMPARE(*hosts.begin(), 1);
        QCOMPARE(*hosts.rbegin(), 100);
        QVERIFY(base == 1000 || base == 2000);
        ++generations[base / 1000 - 1];
    }
    qInfo("killed saves: %d left the first list, %d the second", generations[0], generations[1]);
}

QTEST_MAIN(TestServerListStore)
#include "tst_ServerListStore.moc"

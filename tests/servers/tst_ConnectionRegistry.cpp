#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "ScriptedDictServer.h"
#include "TreeCtrl.h"
#include "WaitUntil.h"

#include <QTest>
#include <QTreeWidget>

class TestConnectionRegistry : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void fanOutFollowsByteOrderOfHostNames();
    void namesDifferingInCaseAreTwoConnections();
    void removingTwiceIsHarmless();
    void removingTheSelectedBranchKeepsTheConnectionAliveForTheHandler();
    void serverAddedWhileRunningAppendsItsRootAtTheBottom();
    void copyHostPortsKeepsTheCallersEntries();

private:
    void Add(const std::string& host) { ConnectionRegistry::Instance().AddServer(host, m_server.Port()); }
    QString Root(const std::string& host) const
    {
        return QString::fromStdString(host) + u':' + QString::number(m_server.Port());
    }
    QStringList Roots() const;
    HTREEITEM RootOf(const std::string& host) const;
    bool AllIdle() const;
    bool AllIdleWithDatabases() const;

    QTreeWidget m_widget;
    TreeCtrl m_tree{&m_widget};
    ScriptedDictServer m_server;
};

void TestConnectionRegistry::initTestCase()
{
    QVERIFY(m_server.Listen());
    m_server.EnableDefaultDictResponder();
    ConnectionRegistry::Instance().AttachTree(&m_tree);
}

void TestConnectionRegistry::init()
{
    m_tree.SetSelChangedHandler(nullptr);
    ConnectionRegistry::Instance().RemoveAllServers();
}

QStringList TestConnectionRegistry::Roots() const
{
    QStringList roots;
    for (int i = 0; i < m_tree.GetRootCount(); ++i)
        roots << QString::fromStdString(m_tree.GetItemText(m_tree.GetRootItem(i)));
    return roots;
}

HTREEITEM TestConnectionRegistry::RootOf(const std::string& host) const
{
    const DictConnection* connection = ConnectionRegistry::Instance().FindConnection(host);
    return connection ? connection->GetRootItem() : nullptr;
}

bool TestConnectionRegistry::AllIdle() const
{
    for (int i = 0; i < m_tree.GetRootCount(); ++i)
        if (m_tree.GetItemImage(m_tree.GetRootItem(i)) != 1)
            return false;
    return true;
}

bool TestConnectionRegistry::AllIdleWithDatabases() const
{
    for (int i = 0; i < m_tree.GetRootCount(); ++i) {
        const HTREEITEM root = m_tree.GetRootItem(i);
        if (m_tree.GetItemImage(root) != 1 || m_tree.GetChildCount(root) == 0)
            return false;
    }
    return true;
}

void TestConnectionRegistry::fanOutFollowsByteOrderOfHostNames()
{
    // Added against byte order: the tree keeps insertion order, the fan-out does not.
    Add("localhost");
    Add("LOCALHOST");
    Add("127.0.0.1");
    QCOMPARE(Roots(), (QStringList{Root("localhost"), Root("LOCALHOST"), Root("127.0.0.1")}));
    QVERIFY(WaitUntil([&] { return AllIdle(); }));
    ConnectionRegistry::Instance().DefineAll("apple");
    QVERIFY(WaitUntil([&] { return AllIdleWithDatabases(); }));

    // Each connection drops its database nodes as its request goes out.
    QStringList order;
    connect(m_widget.model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, [&](const QModelIndex& parent) {
        const QString text = parent.data().toString();
        if (order.isEmpty() || order.back() != text)
            order << text;
    });
    ConnectionRegistry::Instance().DefineAll("apple");
    disconnect(m_widget.model(), nullptr, this, nullptr);
    QCOMPARE(order, (QStringList{Root("127.0.0.1"), Root("LOCALHOST"), Root("localhost")}));
}

void TestConnectionRegistry::namesDifferingInCaseAreTwoConnections()
{
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    const int before = m_server.ConnectionCount();
    registry.AddServer("localhost", 2628);
    QVERIFY(registry.HasServer("localhost"));
    QVERIFY(!registry.HasServer("LOCALHOST"));
    registry.RemoveAllServers();
    Add("localhost");
    Add("LOCALHOST");
    QVERIFY(registry.FindConnection("localhost") != registry.FindConnection("LOCALHOST"));
    QVERIFY(WaitUntil([&] { return m_server.ConnectionCount() == before + 2; }));
    QCOMPARE(Roots(), (QStringList{Root("localhost"), Root("LOCALHOST")}));
}

void TestConnectionRegistry::removingTwiceIsHarmless()
{
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    Add("127.0.0.1");
    Add("localhost");
    registry.RemoveServer("localhost");
    registry.RemoveServer("localhost");
    registry.RemoveServer("never added");
    QVERIFY(!registry.HasServer("localhost"));
    QCOMPARE(Roots(), QStringList{Root("127.0.0.1")});
    // The other server goes on working.
    QVERIFY(WaitUntil([&] { return AllIdle(); }));
    registry.DefineAll("apple");
    QVERIFY(WaitUntil([&] { return AllIdleWithDatabases(); }));
}

void TestConnectionRegistry::removingTheSelectedBranchKeepsTheConnectionAliveForTheHandler()
{
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    Add("localhost");
    Add("127.0.0.1");
    QVERIFY(WaitUntil([&] { return AllIdle(); }));
    registry.DefineAll("apple");
    QVERIFY(WaitUntil([&] { return AllIdleWithDatabases(); }));
    const HTREEITEM database = m_tree.GetChildItem(RootOf("localhost"), 0);
    m_tree.SelectItem(database);
    QCOMPARE(m_tree.GetSelectedItem(), database);

    QStringList seen;
    m_tree.SetSelChangedHandler([&](HTREEITEM item) {
        seen << (item ? QString::fromStdString(m_tree.GetItemText(item)) : QStringLiteral("none"));
        QVERIFY(registry.FindConnection("localhost"));
        if (const auto data = item ? m_tree.GetItemData(item) : 0)
            reinterpret_cast<DictConnection*>(data)->GetDefinitions(item);
    });
    registry.RemoveServer("localhost");
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.back(), Root("127.0.0.1"));
    QCOMPARE(Roots(), QStringList{Root("127.0.0.1")});
    QVERIFY(!registry.HasServer("localhost"));
}

void TestConnectionRegistry::serverAddedWhileRunningAppendsItsRootAtTheBottom()
{
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    Add("localhost");
    Add("127.0.0.1");
    QVERIFY(WaitUntil([&] { return AllIdle(); }));
    registry.DefineAll("apple");
    QVERIFY(WaitUntil([&] { return AllIdleWithDatabases(); }));
    Add("LOCALHOST");
    QCOMPARE(Roots(), (QStringList{Root("localhost"), Root("127.0.0.1"), Root("LOCALHOST")}));
    QCOMPARE(m_tree.GetChildCount(RootOf("LOCALHOST")), 0);
    QVERIFY(WaitUntil([&] { return AllIdle(); }));
    registry.DefineAll("apple");
    QVERIFY(WaitUntil([&] { return AllIdleWithDatabases(); }));
    QVERIFY(m_tree.GetChildCount(RootOf("LOCALHOST")) > 0);
}

void TestConnectionRegistry::copyHostPortsKeepsTheCallersEntries()
{
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    registry.AddServer("localhost", 7);
    registry.AddServer("LOCALHOST", 8);
    registry.AddServer("127.0.0.1", 9);
    std::map<std::string, int> hostPorts{{"localhost", 1}};
    registry.CopyHostPorts(hostPorts);
    const std::map<std::string, int> expected{{"127.0.0.1", 9}, {"LOCALHOST", 8}, {"localhost", 1}};
    QVERIFY(hostPorts == expected);
}

QTEST_MAIN(TestConnectionRegistry)
#include "tst_ConnectionRegistry.moc"

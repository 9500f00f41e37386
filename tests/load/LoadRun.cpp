#include "LoadRun.h"

#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "WaitUntil.h"

#include <map>

namespace {

constexpr int ImageIdle = 1;
constexpr int ImageDatabaseWithDefinitions = 3;
const std::vector<ScriptedDictServer::Database> Databases = {{"wn", "WordNet (r) 3.0 (2006)"},
                                                             {"gcide", "The Collaborative International Dictionary"}};

std::string Word(int n)
{
    return "w" + std::to_string(n % LoadRun::Words);
}

// Each word's text links to the next word.
std::string Text(const std::string& word, const std::string& database)
{
    return word + " in " + database + ": see {" + Word(std::stoi(word.substr(1)) + 1) + "}";
}

std::multimap<std::string, ScriptedDictServer::Definition> Definitions()
{
    std::multimap<std::string, ScriptedDictServer::Definition> definitions;
    for (int i = 0; i < LoadRun::Words; ++i)
        for (const auto& database : Databases)
            definitions.emplace(Word(i),
                                ScriptedDictServer::Definition{database.name, Word(i), Text(Word(i), database.name)});
    return definitions;
}

std::string LinkIn(const std::string& text)
{
    const std::size_t open = text.find('{');
    return text.substr(open + 1, text.find('}', open) - open - 1);
}

}  // namespace

LoadRun::LoadRun(int servers) : m_tree(&m_widget)
{
    for (int i = 0; i < servers; ++i)
        m_servers.push_back(std::make_unique<ScriptedDictServer>());
}

LoadRun::~LoadRun()
{
    ConnectionRegistry::Instance().RemoveAllServers();
    ConnectionRegistry::Instance().AttachTree(nullptr);
}

std::string LoadRun::Host(int index) const
{
    return "127.0.0." + std::to_string(index + 2);
}

QString LoadRun::Start()
{
    ConnectionRegistry& registry = ConnectionRegistry::Instance();
    registry.RemoveAllServers();
    registry.AttachTree(&m_tree);
    const auto definitions = Definitions();
    for (std::size_t i = 0; i < m_servers.size(); ++i) {
        ScriptedDictServer& server = *m_servers[i];
        if (!server.Listen(QString::fromStdString(Host(static_cast<int>(i)))))
            return QString("no port on %1").arg(QString::fromStdString(Host(static_cast<int>(i))));
        server.EnableDictResponder(ScriptedDictServer::DefaultGreeting().toStdString(), Databases, definitions);
        registry.AddServer(Host(static_cast<int>(i)), server.Port());
    }
    const bool listed = WaitUntil(
        [&] {
            for (std::size_t i = 0; i < m_servers.size(); ++i) {
                const DictConnection* connection = registry.FindConnection(Host(static_cast<int>(i)));
                if (m_servers[i]->ReceivedLines().size() != 1
                    || m_tree.GetItemImage(connection->GetRootItem()) != ImageIdle)
                    return false;
            }
            return true;
        },
        20000);
    for (const auto& server : m_servers)
        server->KeepRecords(false);
    return listed ? QString() : QString("not every server was greeted and listed");
}

// Steps cycle through a new word, a followed link, Back and Forwards.
std::string LoadRun::NextWord()
{
    const int kind = m_nSteps++ % 6;
    if (m_history.empty() || kind == 0 || kind == 3)
        return Word(m_nSteps * 7);
    if (kind == 1 || kind == 4)
        return LinkIn(Text(CurrentWord(), "wn"));
    if (kind == 2 && m_nHistoryIndex > 0)
        return m_history[--m_nHistoryIndex];
    if (kind == 5 && m_nHistoryIndex + 1 < m_history.size())
        return m_history[++m_nHistoryIndex];
    return Word(m_nSteps);
}

void LoadRun::Visit(const std::string& word)
{
    if (!m_history.empty() && m_history[m_nHistoryIndex] == word)
        return;
    m_history.resize(m_history.empty() ? 0 : m_nHistoryIndex + 1);
    m_history.push_back(word);
    m_nHistoryIndex = m_history.size() - 1;
}

QString LoadRun::Search()
{
    const std::size_t before = m_nHistoryIndex;
    const std::string word = NextWord();
    if (m_nHistoryIndex == before)
        Visit(word);
    ConnectionRegistry::Instance().DefineAll(word);
    WaitUntil(
        [&] {
            for (std::size_t i = 0; i < m_servers.size(); ++i)
                if (!CheckServer(static_cast<int>(i)).isEmpty())
                    return false;
            return true;
        },
        20000);
    return CheckTree();
}

QString LoadRun::CheckServer(int index) const
{
    DictConnection* connection = ConnectionRegistry::Instance().FindConnection(Host(index));
    if (!connection)
        return "no connection";
    const HTREEITEM root = connection->GetRootItem();
    if (m_tree.GetItemImage(root) != ImageIdle)
        return "root not idle";
    if (m_tree.GetChildCount(root) != static_cast<int>(Databases.size()))
        return QString("%1 database nodes").arg(m_tree.GetChildCount(root));
    for (int i = 0; i < m_tree.GetChildCount(root); ++i) {
        const HTREEITEM item = m_tree.GetChildItem(root, i);
        const std::string database = m_tree.GetItemText(item) == Databases[0].description ? "wn" : "gcide";
        if (m_tree.GetItemImage(item) != ImageDatabaseWithDefinitions)
            return "database node image";
        if (connection->GetDefinitions(item) != Text(CurrentWord(), database) + "\n")
            return QString("text of %1").arg(QString::fromStdString(database));
    }
    return {};
}

QString LoadRun::CheckTree() const
{
    if (m_widget.topLevelItemCount() != static_cast<int>(m_servers.size()))
        return QString("%1 roots").arg(m_widget.topLevelItemCount());
    for (std::size_t i = 0; i < m_servers.size(); ++i) {
        const std::string expected = Host(static_cast<int>(i)) + ":" + std::to_string(m_servers[i]->Port());
        if (m_widget.topLevelItem(static_cast<int>(i))->text(0).toStdString() != expected)
            return QString("root %1 is not %2").arg(i).arg(QString::fromStdString(expected));
        const QString problem = CheckServer(static_cast<int>(i));
        if (!problem.isEmpty())
            return QString::fromStdString(Host(static_cast<int>(i))) + ": " + problem;
    }
    return {};
}

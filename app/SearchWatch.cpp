#include "SearchWatch.h"

#include "AsyncSocket.h"
#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "GivenWord.h"

namespace {

QString ConnectFailure(int error)
{
    switch (error) {
    case SocketError::ConnectionRefused: return "connection refused";
    case SocketError::HostNotFound: return "host not found";
    case SocketError::HostUnreachable: return "host unreachable";
    case SocketError::NetworkDown: return "network down";
    case SocketError::TimedOut: return "timed out";
    default: return "could not connect";
    }
}

// Status lines are the server's words; a long one is cut for the view.
constexpr int MaxStatusChars = 120;

// Why a lookup brought nothing from its server, in words; "" when the
// server answered that it has no definitions, or gave some.
QString Unanswered(const LookupEnd& end)
{
    switch (end.way) {
    case LookupEnd::Way::Answered: {
        const QString line = QString::fromStdString(end.statusLine).simplified();
        const int code = line.left(3).toInt();
        return code < 400 || code == 552 ? QString() : "answered " + Abridged(line, MaxStatusChars);
    }
    case LookupEnd::Way::Unreachable: return "did not answer: " + ConnectFailure(end.error);
    case LookupEnd::Way::Closed:
        return end.error == SocketError::ConnectionReset ? "reset the connection" : "closed the connection";
    case LookupEnd::Way::GivenUp: return "sent more than a reply may hold";
    case LookupEnd::Way::NotSent: return "was not asked: the word is too long";
    }
    return {};
}

}  // namespace

SearchWatch::SearchWatch(TreeCtrl& tree, NothingFoundHandler onNothingFound)
    : m_tree(tree), m_onNothingFound(std::move(onNothingFound))
{
    ConnectionRegistry::Instance().AddListener(this);
}

SearchWatch::~SearchWatch()
{
    ConnectionRegistry::Instance().RemoveListener(this);
}

void SearchWatch::Start(const QString& word)
{
    m_strWord = word;
    m_bSearching = true;
    m_bSending = true;
    m_bUserChose = false;
    m_strPreferredHost.clear();
    m_unanswered.clear();
}

void SearchWatch::Prefer(const std::string& host, const std::string& database)
{
    m_strPreferredHost = host;
    m_strPreferredDatabase = database;
}

void SearchWatch::Sent()
{
    m_bSending = false;
    CheckEnded();
}

void SearchWatch::OnUserSelected()
{
    m_bUserChose = true;
}

// A node is chosen while none of the search's is selected: the first
// that exists, or the first after a lost connection took the chosen one;
// the preferred node when it comes.
void SearchWatch::OnDatabaseBegins(const DictConnection& connection, const std::string& database, const std::string&)
{
    const bool preferred = connection.GetHost() == m_strPreferredHost && database == m_strPreferredDatabase;
    if (m_bUserChose || (!preferred && m_tree.GetItemData(m_tree.GetSelectedItem()) != 0))
        return;
    if (preferred)
        m_strPreferredHost.clear();
    const HTREEITEM item = connection.FindDatabaseItem(database);
    if (!item)
        return;
    m_tree.Expand(connection.GetRootItem());
    m_tree.SelectItem(item);
}

void SearchWatch::OnLookupEnded(const DictConnection& connection, const LookupEnd& end)
{
    if (!m_bSearching)
        return;
    const QString why = Unanswered(end);
    if (!why.isEmpty())
        m_unanswered[connection.GetHost()] =
            QString::fromStdString(connection.GetHost() + ":" + std::to_string(connection.GetPort())) + " " + why;
    CheckEnded();
}

void SearchWatch::CheckEnded()
{
    if (!m_bSearching || m_bSending || ConnectionRegistry::Instance().IsAnyLookupPending())
        return;
    m_bSearching = false;
    if (HasDatabaseNodes())
        return;
    QStringList unanswered;
    for (const auto& [host, line] : m_unanswered)
        if (ConnectionRegistry::Instance().HasServer(host))
            unanswered << line;
    m_onNothingFound(m_strWord, unanswered);
}

bool SearchWatch::HasDatabaseNodes() const
{
    for (int i = 0; i < m_tree.GetRootCount(); ++i)
        if (m_tree.GetChildCount(m_tree.GetRootItem(i)) > 0)
            return true;
    return false;
}

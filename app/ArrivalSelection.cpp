#include "ArrivalSelection.h"

#include "ConnectionRegistry.h"
#include "DictConnection.h"
#include "TreeCtrl.h"

ArrivalSelection::ArrivalSelection(TreeCtrl& tree) : m_tree(tree)
{
    ConnectionRegistry::Instance().AddListener(this);
}

ArrivalSelection::~ArrivalSelection()
{
    ConnectionRegistry::Instance().RemoveListener(this);
}

void ArrivalSelection::Await(const std::string& host, const std::string& database)
{
    m_strHost = host;
    m_strDatabase = database;
}

// The tree's nodes were told first: the node is there.
void ArrivalSelection::OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                                        const std::string&)
{
    if (m_strHost.empty() || connection.GetHost() != m_strHost || database != m_strDatabase)
        return;
    m_strHost.clear();
    if (HTREEITEM item = connection.FindDatabaseItem(database))
        m_tree.SelectItem(item);
}

// The server answered without that database this time: nothing to select.
void ArrivalSelection::OnLookupEnded(const DictConnection& connection, const LookupEnd&)
{
    if (connection.GetHost() == m_strHost)
        m_strHost.clear();
}

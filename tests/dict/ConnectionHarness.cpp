#include "ConnectionHarness.h"

#include <QFile>

#include <algorithm>

ConnectionHarness::ConnectionHarness(const std::string& host, int port, bool connect)
    : m_strHost(host), m_tree(&m_widget)
{
    m_tree.SetSelChangedHandler([this](HTREEITEM item) { OnSelChanged(item); });
    m_tree.SetSelectedItemGrewHandler([this](HTREEITEM item) {
        ++m_nGrowths;
        m_textsSeen.push_back(m_connection->GetDefinitions(item));
    });
    m_connection = std::make_unique<ProbedConnection>(host, port);
    m_connection->SetStepObserver([this] { RecordRootImage(); });
    m_connection->InsertRootItem(&m_tree);
    m_rootImages.push_back(RootImage());
    m_connection->Create();
    if (connect)
        m_connection->ConnectToServer();
}

ConnectionHarness::~ConnectionHarness()
{
    m_tree.SetSelChangedHandler(nullptr);
    m_tree.SetSelectedItemGrewHandler(nullptr);
    m_connection->RemoveRootItem();
    m_connection->Close();
}

int ConnectionHarness::RootImage() const
{
    return m_tree.GetItemImage(Root());
}

void ConnectionHarness::RecordRootImage()
{
    const int image = RootImage();
    if (m_connection && Root() && image != m_rootImages.back())
        m_rootImages.push_back(image);
}

void ConnectionHarness::OnSelChanged(HTREEITEM item)
{
    m_selections.push_back(item);
    m_textsSeen.push_back(item && m_connection ? m_connection->GetDefinitions(item) : std::string());
}

std::vector<ConnectionHarness::DatabaseNode> ConnectionHarness::DatabaseNodes()
{
    std::vector<DatabaseNode> nodes;
    for (int i = 0; i < m_tree.GetChildCount(Root()); ++i) {
        const HTREEITEM item = m_tree.GetChildItem(Root(), i);
        nodes.push_back({m_tree.GetItemText(item), m_tree.GetItemImage(item), m_tree.GetItemData(item),
                         m_connection->GetDefinitions(item)});
    }
    return nodes;
}

QList<QByteArray> ConnectionHarness::Transcript() const
{
    QFile file(QString::fromStdString(m_strHost) + ".log");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> records = file.readAll().split('\n');
    if (!records.isEmpty() && records.back().isEmpty())
        records.removeLast();
    return records;
}

QList<QByteArray> ConnectionHarness::TranscriptLineRecords() const
{
    QList<QByteArray> lines;
    for (const QByteArray& record : Transcript())
        if (record.startsWith("[in ] ") || record.startsWith("[out] "))
            lines.append(record);
    return lines;
}

std::function<bool()> ConnectionHarness::ChunkGate()
{
    // Asked first straight after a chunk went out: that call only notes
    // how many notifications the connection has had so far.
    return [this, seen = -1]() mutable {
        if (seen < 0 || m_connection->ReceiveCount() <= seen) {
            seen = std::max(seen, m_connection->ReceiveCount());
            return false;
        }
        seen = m_connection->ReceiveCount();
        return true;
    };
}

#pragma once

#include "ProbedConnection.h"
#include "TreeCtrl.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One connection brought up the way the registry does it (construct,
// root node, socket, connect), in a real results tree, with the root
// node's image changes and the tree's selection changes recorded.
class ConnectionHarness {
public:
    struct DatabaseNode {
        std::string text;
        int image;
        std::uintptr_t data;
        std::string definitions;
    };

    // Without `connect` the socket is created but no connect is started.
    ConnectionHarness(const std::string& host, int port, bool connect = true);
    ~ConnectionHarness();

    ProbedConnection& Connection() { return *m_connection; }
    TreeCtrl& Tree() { return m_tree; }
    HTREEITEM Root() const { return m_connection->GetRootItem(); }
    int RootImage() const;
    // Every image the root took, the one at insertion first; repeats of
    // the same image are not changes.
    const std::vector<int>& RootImages() const { return m_rootImages; }
    const std::vector<HTREEITEM>& SelectionChanges() const { return m_selections; }
    // How often the selected node was reported grown.
    int Growths() const { return m_nGrowths; }
    // The texts GetDefinitions gave inside each selection change or growth.
    const std::vector<std::string>& TextsSeenOnSelection() const { return m_textsSeen; }
    std::vector<DatabaseNode> DatabaseNodes();

    // The transcript records (lines of HOST.log), as bytes.
    QList<QByteArray> Transcript() const;
    QList<QByteArray> TranscriptLineRecords() const;
    // A gate for ScriptedDictServer: true once the connection has had a
    // receive notification since the chunk before was written.
    std::function<bool()> ChunkGate();

private:
    void RecordRootImage();
    void OnSelChanged(HTREEITEM item);

    std::string m_strHost;
    QTreeWidget m_widget;
    TreeCtrl m_tree;
    std::unique_ptr<ProbedConnection> m_connection;
    std::vector<int> m_rootImages;
    std::vector<HTREEITEM> m_selections;
    std::vector<std::string> m_textsSeen;
    int m_nGrowths = 0;
};

#pragma once

#include "ScriptedDictServer.h"
#include "TreeCtrl.h"

#include <QString>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

// Many scripted servers on distinct loopback addresses (127.0.0.2 up),
// registered in the ConnectionRegistry with one results tree, and a run of
// searches mixing new words, followed links and Back/Forwards. Each search
// waits until every server's reply is in the tree and checks it.
class LoadRun {
public:
    static constexpr int Words = 20;

    explicit LoadRun(int servers);
    ~LoadRun();

    // Servers listening, registered, greeted and listed, and from then on
    // keeping no records of the traffic; empty on success.
    QString Start();
    // The next search of the run; empty when every reply arrived right.
    QString Search();
    // The whole tree: one root per server in order, idle, each with the
    // current word's nodes and texts; empty when right.
    QString CheckTree() const;
    const std::string& CurrentWord() const { return m_history[m_nHistoryIndex]; }

private:
    std::string NextWord();
    void Visit(const std::string& word);
    QString CheckServer(int index) const;
    std::string Host(int index) const;

    QTreeWidget m_widget;
    TreeCtrl m_tree;
    std::vector<std::unique_ptr<ScriptedDictServer>> m_servers;
    std::vector<std::string> m_history;
    std::size_t m_nHistoryIndex = 0;
    int m_nSteps = 0;
};

#pragma once

#include "DefinitionListener.h"
#include "TreeCtrl.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <string>

// Follows the latest search on every server. Until the user selects a
// node himself, the first database node the search brings is selected for
// him, so that its definitions show without a click; and once every server
// has ended the search without a database node, it says so, with the
// servers that did not answer and why.
class SearchWatch : public DefinitionListener {
public:
    // Given the word and one line per server that did not answer.
    using NothingFoundHandler = std::function<void(const QString& word, const QStringList& unanswered)>;

    SearchWatch(TreeCtrl& tree, NothingFoundHandler onNothingFound);
    ~SearchWatch() override;

    // Before the search for the word goes out to every server, and once it
    // has: a server may report its end while the others are still to be asked.
    void Start(const QString& word);
    void Sent();
    // That node is selected when it arrives, not the first to come; the
    // next search forgets it.
    void Prefer(const std::string& host, const std::string& database);
    // The user chose a node: nothing is selected for him until the next search.
    void OnUserSelected();
    // Servers were added or removed: the search may have ended on all that remain.
    void CheckEnded();

    void OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                          const std::string& description) override;
    void OnLookupEnded(const DictConnection& connection, const LookupEnd& end) override;

private:
    bool HasDatabaseNodes() const;

    TreeCtrl& m_tree;
    NothingFoundHandler m_onNothingFound;
    QString m_strWord;
    bool m_bSearching = false;
    bool m_bSending = false;
    bool m_bUserChose = false;
    std::string m_strPreferredHost;
    std::string m_strPreferredDatabase;
    // Why a server did not answer, by host in the registry's order.
    std::map<std::string, QString> m_unanswered;
};

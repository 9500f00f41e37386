#pragma once

#include "DefinitionListener.h"

#include <string>

class TreeCtrl;

// A server's database node to select once it arrives for the word being
// looked up: the result chosen in the desktop's search. Listens to every
// connection while it lives.
class ArrivalSelection : public DefinitionListener {
public:
    explicit ArrivalSelection(TreeCtrl& tree);
    ~ArrivalSelection() override;
    ArrivalSelection(const ArrivalSelection&) = delete;
    ArrivalSelection& operator=(const ArrivalSelection&) = delete;

    void Await(const std::string& host, const std::string& database);

    void OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                          const std::string& description) override;
    void OnLookupEnded(const DictConnection& connection, const LookupEnd& end) override;

private:
    TreeCtrl& m_tree;
    std::string m_strHost;
    std::string m_strDatabase;
};

#pragma once

#include "DefinitionListener.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

// One database's answer to a lookup that no window shows.
struct LookupResult {
    std::string host;
    std::string database;
    std::string description;
    // The database's first definition; its lines each end in "\n".
    std::string text;
    bool complete = false;
};

// A lookup on many connections at once whose definitions are collected
// for whoever asked rather than shown: one result per connection and
// database that returned definitions, in the order they began to arrive.
// A connection keeps its latest word alone, so a new lookup supersedes
// the last one on every connection.
class HeadlessLookup : public DefinitionListener {
public:
    // Told once every connection has ended the latest lookup, never from
    // inside Start.
    explicit HeadlessLookup(std::function<void()> onEnded);

    // The connections must have this lookup among their listeners.
    void Start(const std::string& word, const std::vector<DictConnection*>& connections);
    bool IsEnded() const { return m_pending.empty(); }
    // Those whose first definition is complete.
    std::vector<LookupResult> CompleteResults() const;

    void OnDefinitionsCleared(const DictConnection& connection) override;
    void OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                          const std::string& description) override;
    void OnDefinitionComplete(const DictConnection& connection, const std::string& database,
                              const std::string& text) override;
    void OnLookupEnded(const DictConnection& connection, const LookupEnd& end) override;

private:
    LookupResult* Find(const DictConnection& connection, const std::string& database);

    std::function<void()> m_onEnded;
    std::set<const DictConnection*> m_pending;
    std::vector<LookupResult> m_results;
    bool m_bStarting = false;
};

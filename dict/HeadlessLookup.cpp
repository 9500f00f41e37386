#include "HeadlessLookup.h"

#include "DictConnection.h"

#include <algorithm>

HeadlessLookup::HeadlessLookup(std::function<void()> onEnded) : m_onEnded(std::move(onEnded)) {}

// A connection may end the lookup inside Define (a connect that fails at
// once, a word that does not fit): the caller hears of it by IsEnded.
void HeadlessLookup::Start(const std::string& word, const std::vector<DictConnection*>& connections)
{
    m_results.clear();
    m_pending = {connections.begin(), connections.end()};
    m_bStarting = true;
    for (DictConnection* connection : connections)
        connection->Define(word);
    m_bStarting = false;
}

std::vector<LookupResult> HeadlessLookup::CompleteResults() const
{
    std::vector<LookupResult> complete;
    std::copy_if(m_results.begin(), m_results.end(), std::back_inserter(complete),
                 [](const LookupResult& result) { return result.complete; });
    return complete;
}

LookupResult* HeadlessLookup::Find(const DictConnection& connection, const std::string& database)
{
    const auto found = std::find_if(m_results.begin(), m_results.end(), [&](const LookupResult& result) {
        return result.database == database && result.host == connection.GetHost();
    });
    return found == m_results.end() ? nullptr : &*found;
}

void HeadlessLookup::OnDefinitionsCleared(const DictConnection& connection)
{
    std::erase_if(m_results, [&](const LookupResult& result) { return result.host == connection.GetHost(); });
}

void HeadlessLookup::OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                                      const std::string& description)
{
    if (!Find(connection, database))
        m_results.push_back({connection.GetHost(), database, description, std::string(), false});
}

void HeadlessLookup::OnDefinitionComplete(const DictConnection& connection, const std::string& database,
                                          const std::string& text)
{
    LookupResult* result = Find(connection, database);
    if (result && !result->complete) {
        result->text = text;
        result->complete = true;
    }
}

void HeadlessLookup::OnLookupEnded(const DictConnection& connection, const LookupEnd&)
{
    if (m_pending.erase(&connection) && m_pending.empty() && !m_bStarting)
        m_onEnded();
}

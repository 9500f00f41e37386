#pragma once

#include <string>

class DictConnection;

// What a connection's state looks like to whoever shows it: a busy
// connection reports Busy again for every line it handles.
enum class ConnectionActivity { Closed, Idle, Busy };

// How the latest lookup on a connection ended.
struct LookupEnd {
    enum class Way {
        Answered,  // a final status line; statusLine holds it
        Unreachable,  // the connect failed; error holds why
        Closed,  // the server closed or reset the connection; error holds why
        GivenUp,  // the server sent more than a reply may hold
        NotSent,  // the request did not fit a command line
    };
    Way way = Way::Answered;
    std::string statusLine;
    int error = 0;
};

// Told what a connection learns from its server, in the order it learns
// it. Every report names its connection, so that one listener can follow
// many; a listener may look at the connection but not change it.
class DefinitionListener {
public:
    virtual ~DefinitionListener() = default;

    virtual void OnActivity(const DictConnection& connection, ConnectionActivity activity);
    // The definitions reported so far are void: a new lookup went out or
    // the connection was lost.
    virtual void OnDefinitionsCleared(const DictConnection& connection);
    // The first definition of a database arrives for the latest lookup.
    virtual void OnDatabaseBegins(const DictConnection& connection, const std::string& database,
                                  const std::string& description);
    // One definition of that database is complete; its lines each end in "\n".
    virtual void OnDefinitionComplete(const DictConnection& connection, const std::string& database,
                                      const std::string& text);
    // The latest lookup has its answer, or never will.
    virtual void OnLookupEnded(const DictConnection& connection, const LookupEnd& end);
};

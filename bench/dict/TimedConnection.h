#pragma once

#include "DictConnection.h"

#include <QElapsedTimer>

#include <string>

// A DictConnection whose final status lines end a wait: the benchmarks
// time a request from the command to the line that completes its reply.
class TimedConnection : public DictConnection {
public:
    TimedConnection(const std::string& host, int port);

    // Puts the root node in the tree, connects and waits for the database
    // list; false when the connection did not come up.
    bool Open(TreeCtrl* tree);
    // Runs the event loop until the final status line of the database
    // list, or of a definition request, has been handled.
    void WaitForFinalStatus(bool definition);
    // Nanoseconds from the lookup to its reply's final status, a
    // reconnection on the way included.
    qint64 TimeDefine(const std::string& word);
    // Greetings received: the connections made, first one included.
    int Greetings() const { return m_nGreetings; }
    // Nanoseconds from the last greeting to the last final status handled.
    qint64 GreetingToFinalStatus() const { return m_nFinishedAt - m_nGreetedAt; }

    void OnGreeting(const std::string& line) override;
    void OnDatabaseListStatus(const std::string& line) override;
    void OnDefineStatus(const std::string& line) override;

private:
    void NoteStatus(const std::string& line, bool listStatus);

    QElapsedTimer m_clock;
    qint64 m_nGreetedAt = 0;
    qint64 m_nFinishedAt = 0;
    bool m_bWaitingForDefinition = false;
    bool m_bFinished = false;
    int m_nGreetings = 0;
};

#include "TimedConnection.h"

#include <QCoreApplication>

#include <cstdlib>

TimedConnection::TimedConnection(const std::string& host, int port) : DictConnection(host, port)
{
    m_clock.start();
}

bool TimedConnection::Open(TreeCtrl* tree)
{
    InsertRootItem(tree);
    Create();
    ConnectToServer();
    WaitForFinalStatus(false);
    return IsConnected();
}

void TimedConnection::WaitForFinalStatus(bool definition)
{
    m_bWaitingForDefinition = definition;
    // Not a nested loop: its quit would wake the event loop once more per
    // lookup, a cost of the benchmark and not of the program.
    while (!m_bFinished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_bFinished = false;
}

qint64 TimedConnection::TimeDefine(const std::string& word)
{
    QElapsedTimer timer;
    timer.start();
    Define(word);
    WaitForFinalStatus(true);
    return timer.nsecsElapsed();
}

void TimedConnection::OnGreeting(const std::string& line)
{
    ++m_nGreetings;
    m_nGreetedAt = m_clock.nsecsElapsed();
    DictConnection::OnGreeting(line);
}

void TimedConnection::OnDatabaseListStatus(const std::string& line)
{
    DictConnection::OnDatabaseListStatus(line);
    NoteStatus(line, true);
}

void TimedConnection::OnDefineStatus(const std::string& line)
{
    DictConnection::OnDefineStatus(line);
    NoteStatus(line, false);
}

void TimedConnection::NoteStatus(const std::string& line, bool listStatus)
{
    const int code = std::atoi(line.c_str());
    const bool more = listStatus ? code >= 100 && code <= 199 : code == 150 || code == 151;
    if (more || code == 0 || listStatus == m_bWaitingForDefinition)
        return;
    m_bFinished = true;
    m_nFinishedAt = m_clock.nsecsElapsed();
}

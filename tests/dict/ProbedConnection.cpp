#include "ProbedConnection.h"

void ProbedConnection::OnReceive(int error)
{
    DictConnection::OnReceive(error);
    ++m_nReceives;
    StepDone();
}

void ProbedConnection::OnConnect(int error)
{
    m_connectErrors.push_back(error);
    DictConnection::OnConnect(error);
    StepDone();
}

void ProbedConnection::OnClose(int error)
{
    DictConnection::OnClose(error);
    StepDone();
}

void ProbedConnection::OnLine(const std::string& line)
{
    DictConnection::OnLine(line);
    StepDone();
}

void ProbedConnection::StepDone()
{
    if (m_stepObserver)
        m_stepObserver();
}

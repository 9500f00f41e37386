#include "ProbedConnection.h"

#include <algorithm>

void ProbedConnection::OnReceive(int error)
{
    m_nReceiveBytes = 0;
    DictConnection::OnReceive(error);
    m_nLargestReceive = std::max(m_nLargestReceive, m_nReceiveBytes);
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
    m_nReceiveBytes += line.size() + 2;
    DictConnection::OnLine(line);
    StepDone();
}

void ProbedConnection::StepDone()
{
    if (m_stepObserver)
        m_stepObserver();
}

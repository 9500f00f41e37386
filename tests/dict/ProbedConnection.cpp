#include "ProbedConnection.h"

void ProbedConnection::OnReceive(int error)
{
    DictConnection::OnReceive(error);
    ++m_nReceives;
}

void ProbedConnection::OnConnect(int error)
{
    m_connectErrors.push_back(error);
    DictConnection::OnConnect(error);
}

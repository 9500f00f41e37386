#pragma once

#include "DictConnection.h"

#include <vector>

// A real DictConnection that also counts its receive notifications and
// keeps the error codes of its connect notifications, so that tests can
// pace a server's chunks and see a failed connect.
class ProbedConnection : public DictConnection {
public:
    using DictConnection::DictConnection;

    int ReceiveCount() const { return m_nReceives; }
    const std::vector<int>& ConnectErrors() const { return m_connectErrors; }
    // Delivers a connect notification as the socket layer would.
    void NotifyConnect(int error) { OnConnect(error); }

protected:
    void OnReceive(int error) override;
    void OnConnect(int error) override;

private:
    int m_nReceives = 0;
    std::vector<int> m_connectErrors;
};

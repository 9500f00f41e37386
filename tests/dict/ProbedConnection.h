#pragma once

#include "DictConnection.h"

#include <functional>
#include <utility>
#include <vector>

// A real DictConnection that also counts its receive notifications, keeps
// the error codes of its connect notifications and reports each handled
// line and notification, so that tests can pace a server's chunks, see a
// failed connect and follow every image the root node shows.
class ProbedConnection : public DictConnection {
public:
    using DictConnection::DictConnection;

    int ReceiveCount() const { return m_nReceives; }
    // The most bytes of lines one receive notification handled: the work a
    // notification does, and so how long it holds the event loop.
    std::size_t LargestReceive() const { return m_nLargestReceive; }
    const std::vector<int>& ConnectErrors() const { return m_connectErrors; }
    // Delivers a connect notification as the socket layer would.
    void NotifyConnect(int error) { OnConnect(error); }
    void SetStepObserver(std::function<void()> observer) { m_stepObserver = std::move(observer); }

    void OnLine(const std::string& line) override;

protected:
    void OnReceive(int error) override;
    void OnConnect(int error) override;
    void OnClose(int error) override;

private:
    void StepDone();

    std::function<void()> m_stepObserver;
    int m_nReceives = 0;
    std::size_t m_nReceiveBytes = 0;
    std::size_t m_nLargestReceive = 0;
    std::vector<int> m_connectErrors;
};

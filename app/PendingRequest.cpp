#include "PendingRequest.h"

#include "MainWindow.h"

#include <utility>

PendingRequest::PendingRequest()
{
    m_takeUp.setSingleShot(true);
    m_takeUp.setInterval(0);
    QObject::connect(&m_takeUp, &QTimer::timeout, [this] { TakeUp(); });
}

void PendingRequest::Give(const GivenRequest& request)
{
    if (request.AsksNothing())
        return;
    m_pending = request;
    m_takeUp.start();
}

void PendingRequest::Attach(MainWindow& window)
{
    m_window = &window;
    if (m_pending)
        m_takeUp.start();
}

// A request given while one is looked up waits until that returns, its
// box closed; then the latest is taken up.
void PendingRequest::TakeUp()
{
    if (m_bTaking)
        return;
    m_bTaking = true;
    while (m_pending && m_window)
        std::exchange(m_pending, std::nullopt)->LookUpIn(*m_window);
    m_bTaking = false;
}

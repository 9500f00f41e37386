#pragma once

#include "GivenRequest.h"

#include <QPointer>
#include <QTimer>

#include <optional>

class MainWindow;

// The one request from outside the window still to be looked up, the
// latest winning. It is taken up from the event loop, never inside the
// handler that gave it, once the window exists, and not while a box that
// an earlier one opened is up: a burst of refused words opens one box at
// a time, not one inside another.
class PendingRequest {
public:
    PendingRequest();
    PendingRequest(const PendingRequest&) = delete;
    PendingRequest& operator=(const PendingRequest&) = delete;

    // A request that asks nothing leaves the one pending.
    void Give(const GivenRequest& request);
    // Where requests are looked up from now on, until its end.
    void Attach(MainWindow& window);

private:
    void TakeUp();

    std::optional<GivenRequest> m_pending;
    QPointer<MainWindow> m_window;
    QTimer m_takeUp;
    bool m_bTaking = false;
};

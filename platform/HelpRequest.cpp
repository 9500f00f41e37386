#include "HelpRequest.h"

namespace {
std::function<void()>& Handler()
{
    static std::function<void()> handler;
    return handler;
}
}  // namespace

void RequestHelp()
{
    if (Handler())
        Handler()();
}

void SetHelpHandler(std::function<void()> handler)
{
    Handler() = std::move(handler);
}

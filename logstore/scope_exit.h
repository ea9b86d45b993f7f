#pragma once
// Runs a step when a scope ends, however it ends: the one shape of every
// "resume the display", "give the pointer back", "close the view again".

#include <utility>

namespace cvlog
{

template <class Leave> class [[nodiscard]] ScopeExit
{
public:
    explicit ScopeExit(Leave leave)
        : leave_(std::move(leave))
    {
    }
    ~ScopeExit() { leave_(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Leave leave_;
};

} // namespace cvlog

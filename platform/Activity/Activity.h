#pragma once
// The agent's activity: work deferred until the current operation returns.
//
// Everything runs on one thread. Code that must not re-enter a table
// operation half done (a chip delivering write responses on its own, the
// framework calling back a watcher) posts its work here instead of running it
// in place; the agent's loop, or a test, runs what is pending once the
// operation has returned. Work posted while pending work runs is run in the
// same call, in order.
#include <cstddef>
#include <deque>
#include <functional>

namespace Activity {

void post(std::function<void()> work);
// Runs pending work until none is left; returns how many items ran.
std::size_t runPending();
std::size_t pending() noexcept;
// Drops pending work without running it (teardown of a test or agent).
void discardPending() noexcept;

}  // namespace Activity

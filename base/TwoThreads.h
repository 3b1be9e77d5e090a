// Independent tasks shared between the calling thread and one helper thread: the stages of
// a diagram run whose parts do not depend on one another (rays, chart curves).
#pragma once

#include <cstddef>
#include <functional>

namespace orvane {

// Runs task(0)..task(count-1), each once, the next free one taken by whichever thread is
// idle, in ascending order. With `share` false, or when no thread can be had, this thread
// runs them all in order. A task that throws ends the work as if one thread had met the
// tasks in order: every task below the lowest failing one runs, those above it not yet
// started by then never start, and that task's exception is rethrown here once the helper
// has stopped. The floating-point fault flags the helper raised are raised here too.
void RunOnTwoThreads(std::size_t count, const std::function<void(std::size_t)>& task, bool share = true);

} // namespace orvane

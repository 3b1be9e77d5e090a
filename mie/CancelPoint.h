// Where a long sum of the exact theory asks whether to stop: every few million terms, so that a
// cancel (a Ctrl-C in Python, the window's Cancel) ends it within milliseconds while the sums
// themselves stay exactly as they are.
#pragma once

#include <cstddef>

#include "base/RunControl.h"

namespace orvane {

class CancelPoint {
public:
    // control: none for a computation that cannot be cancelled.
    explicit CancelPoint(const RunControl* control) : control_(control) {}

    // `terms` more terms summed; throws Cancelled when the run was asked to stop.
    void add(std::size_t terms)
    {
        if (control_ == nullptr)
            return;
        done_ += terms;
        if (done_ < kTermsPerCheck)
            return;
        done_ = 0;
        ThrowIfCancelled(*control_);
    }

private:
    static constexpr std::size_t kTermsPerCheck = std::size_t{1} << 20;
    const RunControl* control_;
    std::size_t done_ = 0;
};

} // namespace orvane

#include "base/TwoThreads.h"

#include <atomic>
#include <cfenv>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace orvane {

namespace {

constexpr int kFpFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

} // namespace

void RunOnTwoThreads(std::size_t count, const std::function<void(std::size_t)>& task, bool share)
{
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> firstFailed{count};
    std::mutex failure;
    std::exception_ptr firstError;  // the exception of task firstFailed, under `failure`
    auto work = [&] {
        for (std::size_t i = next.fetch_add(1); i < count && i < firstFailed.load(); i = next.fetch_add(1)) {
            try {
                task(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failure);
                if (i < firstFailed.load()) {
                    firstFailed = i;
                    firstError = std::current_exception();
                }
            }
        }
    };

    std::thread helper;
    int helperFaults = 0;
    if (share && count > 1) {
        try {
            helper = std::thread([&] {
                std::feclearexcept(kFpFaults);
                work();
                helperFaults = std::fetestexcept(kFpFaults);
            });
        } catch (const std::system_error&) {
            // No thread to be had: this one runs every task.
        }
    }
    work();
    if (helper.joinable()) {
        helper.join();
        if (helperFaults)
            std::feraiseexcept(helperFaults);
    }
    if (firstError)
        std::rethrow_exception(firstError);
}

} // namespace orvane

// Where the program's own messages go: a modal box in the window, a line on standard
// error in orvane-batch, a list in the tests. The work goes on after show() returns, with
// the floating-point flags it had before: whatever the box or the stream computed is not
// taken for a fault of the run.
#pragma once

#include <string>
#include <vector>

#include "base/FpGuard.h"

namespace orvane {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    void show(const std::string& text)
    {
        const FpFlagsKept keep;
        display(text);
    }

protected:
    // Each front end's way of showing a message.
    virtual void display(const std::string& text) = 0;
};

// Keeps every message; for tests and for callers that show them later.
class RecordingSink : public MessageSink {
public:
    std::vector<std::string> messages;

protected:
    void display(const std::string& text) override { messages.push_back(text); }
};

} // namespace orvane

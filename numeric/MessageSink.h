// Where the program's own messages go: a modal box in the window, a line on standard
// error in orvane-batch, a list in the tests. The work goes on after show() returns.
#pragma once

#include <string>
#include <vector>

namespace orvane {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const std::string& text) = 0;
};

// Keeps every message; for tests and for callers that show them later.
class RecordingSink : public MessageSink {
public:
    void show(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

} // namespace orvane

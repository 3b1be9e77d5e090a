// What a computation may tell the one who started it, and ask of it: the program's messages
// (a modal box in the window, a line on standard error in orvane-batch, a Python warning),
// how far it has come, and whether it should stop. A long run asks at regular points and
// ends with Cancelled when told to stop; its files are then left as they were.
#pragma once

#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/MessageSink.h"

namespace orvane {

// The stages of a diagram run, in the order they come.
enum class RunStage {
    Tracing,      // following the incident rays through the particle
    Assembling,   // the orders' branches onto the angle grid
    Airy,         // the wave sum near the primary rainbow
    Diffraction,
    ExactTheory,  // Mie or Debye terms of a sphere
    Writing,      // the data files
};

// A short name of the stage for a progress bar: "Tracing rays", "Assembling orders", ...
const char* RunStageName(RunStage stage);

class RunControl : public MessageSink {
public:
    // The run has done `done` of `total` steps of `stage` (total > 0). Called often: keep it cheap.
    virtual void progress(RunStage stage, int done, int total) { (void)stage, (void)done, (void)total; }
    // True once the run should stop at its next chance.
    virtual bool cancelRequested() const { return false; }
};

// A run told to stop.
class Cancelled : public OrvaneError {
public:
    Cancelled() : OrvaneError("The calculation was cancelled.") {}
};

// Throws Cancelled when the run was asked to stop.
inline void ThrowIfCancelled(const RunControl& control)
{
    if (control.cancelRequested())
        throw Cancelled();
}

// Keeps every message and asks nothing: for tests, batch tools and callers that show the
// messages later.
class RecordingControl : public RunControl {
public:
    void display(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

} // namespace orvane

// The check file "Orvane_raw.dat": a record of every interaction of every traced ray, written
// as the rays are traced. Nothing reads it back; it is there to check a run.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "engine/TraceRays.h"
#include "base/Format.h"
#include "base/TextFile.h"

namespace orvane {

class CheckFileWriter final : public TraceObserver {
public:
    // Writes into out (a new, empty file), numbers with the given decimal separator.
    CheckFileWriter(TextWriter& out, char separator) : out_(out), separator_(separator) {}

    // A ray's block: its number, the entry point and order 0 (10 lines, 12 when it enters),
    // after a line holding one blank for every ray but the first.
    void entered(const EntryEvent& e) override;
    // The record of order p: 8 lines, 9 when the order leaves the particle.
    void interacted(const InteractionEvent& e) override;

private:
    // One line from a format and its values. A pending floating-point fault ends the run here,
    // so that no infinity or NaN is ever written.
    void line(std::string_view fmt, std::initializer_list<FormatArg> args);

    TextWriter& out_;
    char separator_;
    std::string buffer_;
    bool first_ = true;
};

} // namespace orvane

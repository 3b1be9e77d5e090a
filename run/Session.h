// What a handler works on: the session state, the fields, where messages go and the
// folder where files are read and written (the window's working directory, or
// orvane-batch's -C folder).
#pragma once

#include <filesystem>

#include "run/Fields.h"
#include "run/OrvaneState.h"

namespace orvane {

class MessageSink;

struct Session {
    TOrvaneState& state;
    Fields& fields;
    MessageSink& sink;
    std::filesystem::path workDir;  // empty: the current directory

    std::filesystem::path file(const char* name) const { return workDir.empty() ? std::filesystem::path(name) : workDir / name; }
};

} // namespace orvane

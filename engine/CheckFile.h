// The check file "Orvane_raw.dat": a record of every interaction of every traced ray, written
// line by line as the values come into being. Nothing reads it back; it is there to check a run.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "numeric/Format.h"
#include "numeric/StagedFiles.h"
#include "numeric/TextFile.h"

namespace orvane {

inline constexpr const char* kCheckFileName = "Orvane_raw.dat";

class CheckFile {
public:
    // Creates the file as one of the run's files (it replaces an older one when the run
    // succeeds); EInOutError when it cannot.
    CheckFile(StagedFiles& files, const std::filesystem::path& file);

    // One line from a format and its values. A pending floating-point fault ends the run
    // here, so that no infinity or NaN is ever written.
    void line(std::string_view fmt, std::initializer_list<FormatArg> args);
    void close();

private:
    TextWriter writer_;
    std::string buffer_;
};

} // namespace orvane

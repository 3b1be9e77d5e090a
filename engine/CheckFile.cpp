#include "engine/CheckFile.h"

#include "numeric/FpGuard.h"

namespace orvane {

CheckFile::CheckFile(StagedFiles& files, const std::filesystem::path& file) : writer_(files, file) {}

void CheckFile::line(std::string_view fmt, std::initializer_list<FormatArg> args)
{
    CheckFpFaults();
    buffer_.clear();
    FormatDataTo(buffer_, fmt, args);
    writer_.writeLine(buffer_);
}

void CheckFile::close() { writer_.close(); }

} // namespace orvane

#include "output/OutputFiles.h"

namespace orvane {

OutputFiles::OutputFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

OutputFiles::~OutputFiles() = default;

std::filesystem::path OutputFiles::path(const std::string& name) const
{
    return folder_.empty() ? std::filesystem::path(name) : folder_ / name;
}

TextWriter& OutputFiles::create(const std::string& name)
{
    writers_.push_back(std::make_unique<TextWriter>(path(name), TextWriter::Mode::Create));
    return *writers_.back();
}

void OutputFiles::commit()
{
    for (auto& writer : writers_)
        writer->close();
    writers_.clear();
}

} // namespace orvane

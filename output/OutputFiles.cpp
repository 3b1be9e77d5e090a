#include "output/OutputFiles.h"

namespace orvane {

OutputFiles::OutputFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

OutputFiles::~OutputFiles()
{
    // The writers first (into their temporaries), then the staged set removes them.
    writers_.clear();
}

std::filesystem::path OutputFiles::path(const std::string& name) const
{
    return folder_.empty() ? std::filesystem::path(name) : folder_ / name;
}

TextWriter& OutputFiles::create(const std::string& name)
{
    writers_.push_back(std::make_unique<TextWriter>(staged_, path(name)));
    return *writers_.back();
}

void OutputFiles::commit()
{
    for (auto& writer : writers_)
        writer->close();
    staged_.commit();
    writers_.clear();
}

} // namespace orvane

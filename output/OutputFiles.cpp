#include "output/OutputFiles.h"

namespace orvane {

OutputFiles::OutputFiles(std::filesystem::path folder)
    : folder_(std::move(folder)), staged_(folder_.empty() ? std::filesystem::path(".") : folder_)
{
}

OutputFiles::~OutputFiles()
{
    // The writers first (into their temporaries), then the staged set removes them.
    writers_.clear();
}

std::filesystem::path OutputFiles::path(const std::string& name) const
{
    return folder_.empty() ? std::filesystem::path(name) : folder_ / name;
}

TextWriter& OutputFiles::create(const std::string& name) { return createAt(path(name)); }

TextWriter& OutputFiles::createAt(const std::filesystem::path& destination)
{
    writers_.push_back(std::make_unique<TextWriter>(staged_, destination));
    return *writers_.back();
}

void OutputFiles::put(const std::filesystem::path& destination, std::string_view bytes)
{
    staged_.put(destination, bytes);
}

void OutputFiles::describe(RunManifest manifest) { manifest_ = std::move(manifest); }

std::string OutputFiles::manifestName(const std::filesystem::path& destination) const
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path folder = fs::absolute(folder_.empty() ? fs::path(".") : folder_, ec).lexically_normal();
    // "dir/" and "dir/." normalise to "dir/": the folder is the path without its last separator.
    if (!folder.has_filename())
        folder = folder.parent_path();
    const fs::path file = fs::absolute(destination, ec).lexically_normal();
    return file.parent_path() == folder ? file.filename().string() : destination.string();
}

void OutputFiles::commit()
{
    for (auto& writer : writers_)
        writer->close();
    if (manifest_) {
        std::vector<std::string> names;
        for (const std::filesystem::path& destination : staged_.destinations())
            names.push_back(manifestName(destination));
        TextWriter& out = create(kRunManifestName);
        WriteRunManifest(out, *manifest_, names, EarlierRunFiles(folder_, names), ManifestTime());
        out.close();
    }
    staged_.commit();
    writers_.clear();
}

} // namespace orvane

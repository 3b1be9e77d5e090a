// Files in the tests: a folder of a test's own, and whole files read and written as bytes.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace orvane::testing {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder()
    {
        static std::atomic<unsigned> counter{0};
        for (;;) {
            const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
            path_ = std::filesystem::temp_directory_path() /
                    ("orvane-test-" + std::to_string(::getpid()) + "-" + std::to_string(stamp) + "-" +
                     std::to_string(counter++));
            if (std::filesystem::create_directories(path_))
                break;
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const char* name) const { return path_ / name; }

    // Writes the bytes as they are (no line-end translation) and returns the file's path.
    std::filesystem::path write(const std::string& name, std::string_view bytes) const
    {
        const auto file = path_ / name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The names of the files in a folder, sorted.
inline std::vector<std::string> FileNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Everything a folder holds, by name: a file's bytes, "<folder>" for a folder, "-> target"
// for a symbolic link, "<special>" for a named pipe, a socket or a device (never opened). Two
// snapshots are equal when nothing was added, removed or changed.
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink())
            entries[name] = "-> " + std::filesystem::read_symlink(entry.path()).string();
        else if (entry.is_directory())
            entries[name] = "<folder>";
        else if (!entry.is_regular_file())
            entries[name] = "<special>";
        else
            entries[name] = ReadBytes(entry.path());
    }
    return entries;
}

inline void WriteBytes(const std::filesystem::path& file, std::string_view bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace orvane::testing

// Shared pieces of the picture tests: the EPS file read back as lines.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/TestFiles.h"

namespace orvane::testing {

// The lines of a CR LF file; a line end that is not CR LF leaves its CR or LF in the line,
// and a last line without an end is returned with a "<no line end>" mark.
inline std::vector<std::string> ReadCrLfLines(const std::filesystem::path& file)
{
    const std::string bytes = ReadBytes(file);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(start) + "<no line end>");
            break;
        }
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

} // namespace orvane::testing

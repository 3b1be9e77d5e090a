// Text files as every file of the program is written and read: single-byte Windows-1252
// text ("µ" is 0xB5, "°" is 0xB0), lines ended by CR LF. Failures throw EInOutError with
// a message that names the file.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace orvane {

class TextWriter {
public:
    enum class Mode { Create, Append };
    // Creates (emptying an existing file) or opens for appending.
    TextWriter(const std::filesystem::path& file, Mode mode = Mode::Create);
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // Writes the UTF-8 text converted to Windows-1252, then CR LF.
    void writeLine(std::string_view text);
    // Flushes and closes; throws if the data could not be written. Called by the destructor
    // (which swallows errors) when not called before.
    void close();
    const std::filesystem::path& path() const { return path_; }

private:
    void fail(const char* what);
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    std::string line_;
};

// The number reader of the parameter file: numbers separated by characters of code 32 or
// less (line ends included); end of file reads 0 without error; a token longer than 64
// characters (real) or 32 (integer), or not a complete number, throws EInOutError.
class TextReader {
public:
    explicit TextReader(const std::filesystem::path& file);
    double readReal();              // point as decimal separator, whatever the locale
    std::int32_t readInteger();     // decimal, or hexadecimal after '$'
    void readLn();                  // discards the rest of the line and its line end
    const std::filesystem::path& path() const { return path_; }

private:
    std::string nextToken(std::size_t maxLength, const char* kind);
    std::filesystem::path path_;
    std::string data_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// UTF-8 to Windows-1252 for the program's own literals (µ, °) and typed text.
std::string ToWindows1252(std::string_view utf8);

} // namespace orvane

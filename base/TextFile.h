// Text files as every file of the program is written and read: single-byte Windows-1252
// text ("µ" is 0xB5, "°" is 0xB0), lines ended by CR LF. Failures throw FileError with
// a message that names the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace orvane {

class StagedFiles;

// Throws the FileError of a file operation that failed with errno `error` (0: unknown):
// "Disk full: cannot write "X"", "Access denied: "X"", or `what` "X": the system's reason.
// X is the file's name without its folder.
[[noreturn]] void ThrowFileError(const char* what, const std::filesystem::path& file, int error);

class TextWriter {
public:
    enum class Mode { Create, Append };
    // Creates (emptying an existing file) or opens an existing file for appending (a
    // missing one is "File not found"). Lines stay in the writer's buffer until close():
    // close a writer before opening the same file again.
    TextWriter(const std::filesystem::path& file, Mode mode = Mode::Create);
    // Writes `destination` as a file of `files`: into its temporary, which the set renames
    // over the destination at its commit. Messages name the destination. `files` must
    // outlive the writer.
    TextWriter(StagedFiles& files, const std::filesystem::path& destination);
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // Writes the UTF-8 text converted to Windows-1252, then CR LF. Lines are gathered in
    // a large buffer: a write error may surface at a later line or at close().
    void writeLine(std::string_view text);
    // Writes lines made by AppendLine as they are (already converted, each with its CR LF).
    void writeLines(std::string_view lines);
    // Flushes and closes; throws if the data could not be written. Called by the destructor
    // (which swallows errors) when not called before.
    void close();
    const std::filesystem::path& path() const { return path_; }

private:
    void flush();
    [[noreturn]] void fail(const char* what, int error);
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
    StagedFiles* staged_ = nullptr;
    std::string buffer_;
};

// The number reader of the parameter file: numbers separated by characters of code 32 or
// less (line ends included); end of file reads 0 without error; a token longer than 64
// characters (real) or 32 (integer), or not a complete number, throws FileError.
class TextReader {
public:
    // Reads the whole file. Only a regular file of at most maxBytes is read: anything else
    // (a folder, a named pipe, a device, a larger file) throws FileError(notAFile) without
    // a byte being read, so that a pipe cannot block the program and a device cannot feed it
    // without end. A missing file is "File not found", one without permission "Access denied".
    TextReader(const std::filesystem::path& file, std::size_t maxBytes, const std::string& notAFile);
    // Reads the bytes given; `name` stands for the file in messages.
    TextReader(std::string bytes, const std::filesystem::path& name);
    double readReal();              // point as decimal separator, whatever the locale
    std::int32_t readInteger();     // decimal, or hexadecimal after '$'
    void readLn();                  // discards the rest of the line and its line end
    const std::filesystem::path& path() const { return path_; }

private:
    void SkipByteOrderMark();
    std::string nextToken(std::size_t maxLength, const char* kind);
    [[noreturn]] void invalidNumber(std::string_view token, int line) const;
    std::filesystem::path path_;
    std::string data_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// Appends one line as writeLine writes it: the UTF-8 text in Windows-1252, then CR LF.
void AppendLine(std::string& lines, std::string_view text);

// UTF-8 to Windows-1252 for the program's own literals (µ, °) and typed text; a character
// the code page lacks, or a byte that is not UTF-8, becomes '?'.
std::string ToWindows1252(std::string_view utf8);
// Windows-1252 to UTF-8 (the five bytes the code page leaves undefined become '?').
std::string FromWindows1252(std::string_view text);

} // namespace orvane

#include "base/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/StagedFiles.h"

namespace orvane {

namespace {

// Bytes gathered before they go to the file: a few hundred lines of a data file.
constexpr std::size_t kWriteBuffer = 1 << 16;

// Unicode code points of the Windows-1252 bytes 0x80..0x9F (0 where the code page has none).
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char ToCodePage(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool IsAscii(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

void AppendWindows1252(std::string& out, std::string_view utf8)
{
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        int length = 0;
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            c = b & 0x07;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            const unsigned char t = static_cast<unsigned char>(utf8[i + k]);
            if ((t & 0xC0) != 0x80)
                valid = false;
            else
                c = (c << 6) | (t & 0x3F);
        }
        // Overlong forms and surrogates are not characters either.
        if (valid && ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF))
                      || (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out.push_back('?');
            ++i;
            continue;
        }
        out.push_back(ToCodePage(c));
        i += length;
    }
}

std::string DisplayName(const std::filesystem::path& file)
{
    const std::filesystem::path name = file.filename();
    return name.empty() ? file.string() : name.string();
}

} // namespace

void AppendLine(std::string& lines, std::string_view text)
{
    if (IsAscii(text))
        lines.append(text);
    else
        AppendWindows1252(lines, text);
    lines.append("\r\n", 2);
}

std::string ToWindows1252(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    AppendWindows1252(out, utf8);
    return out;
}

std::string FromWindows1252(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const unsigned char b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            out.push_back(ch);
        else if (b >= 0xA0)
            AppendUtf8(out, b);
        else if (kHighControls[b - 0x80] != 0)
            AppendUtf8(out, kHighControls[b - 0x80]);
        else
            out.push_back('?');
    }
    return out;
}

void ThrowFileError(const char* what, const std::filesystem::path& file, int error)
{
    const std::string name = DisplayName(file);
    if (error == ENOSPC)
        throw FileError("Disk full: cannot write \"" + name + "\"");
    if (error == EACCES || error == EPERM || error == EROFS)
        throw FileError("Access denied: \"" + name + "\"");
    std::string message = std::string(what) + " \"" + name + "\"";
    if (error != 0)
        message += std::string(": ") + std::strerror(error);
    throw FileError(message);
}

// ---------------------------------------------------------------------------------------
// TextWriter

TextWriter::TextWriter(const std::filesystem::path& file, Mode mode) : path_(file)
{
    if (mode == Mode::Append) {
        // Appending continues a file this program has just created: a missing one is an
        // error rather than a new file without its beginning.
        std::error_code ec;
        if (!std::filesystem::exists(path_, ec))
            throw FileError("File not found: \"" + DisplayName(path_) + "\"");
    }
    errno = 0;
    file_ = std::fopen(path_.c_str(), mode == Mode::Append ? "ab" : "wb");
    if (file_ == nullptr)
        fail(mode == Mode::Append ? "Cannot open file" : "Cannot create file", errno);
    buffer_.reserve(kWriteBuffer + 1024);
}

TextWriter::TextWriter(StagedFiles& files, const std::filesystem::path& destination)
    : path_(destination), file_(files.create(destination)), staged_(&files)
{
    buffer_.reserve(kWriteBuffer + 1024);
}

TextWriter::~TextWriter()
{
    try {
        close();
    } catch (...) {
        // A destructor reached while unwinding must not throw; close() reports errors.
    }
}

void TextWriter::writeLine(std::string_view text)
{
    if (file_ == nullptr)
        throw FileError("File not open for output: \"" + DisplayName(path_) + "\"");
    AppendLine(buffer_, text);
    if (buffer_.size() >= kWriteBuffer)
        flush();
}

void TextWriter::writeLines(std::string_view lines)
{
    if (file_ == nullptr)
        throw FileError("File not open for output: \"" + DisplayName(path_) + "\"");
    buffer_.append(lines);
    if (buffer_.size() >= kWriteBuffer)
        flush();
}

void TextWriter::flush()
{
    if (buffer_.empty())
        return;
    errno = 0;
    const std::size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
    if (written != buffer_.size() || std::fflush(file_) != 0)
        fail("Cannot write file", errno);
    buffer_.clear();
}

void TextWriter::close()
{
    if (file_ == nullptr)
        return;
    flush();
    std::FILE* f = file_;
    const StagedFiles::StreamId id = StagedFiles::IdOf(f);
    file_ = nullptr;
    errno = 0;
    if (std::fclose(f) != 0)
        fail("Cannot write file", errno);
    if (staged_ != nullptr)
        staged_->closed(id);
}

void TextWriter::fail(const char* what, int error)
{
    // Once an operation failed the file is given up: later writes and close() add nothing.
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    buffer_.clear();
    ThrowFileError(what, path_, error);
}

// ---------------------------------------------------------------------------------------
// TextReader

TextReader::TextReader(const std::filesystem::path& file, std::size_t maxBytes, const std::string& notAFile)
    : path_(file)
{
    const std::string name = DisplayName(path_);
    // Opened without waiting, so that a named pipe without a writer cannot hold the program;
    // what was opened is then looked at before anything is read from it.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            throw FileError("File not found: \"" + name + "\"");
        if (error == EACCES || error == EPERM)
            throw FileError("Access denied: \"" + name + "\"");
        throw FileError("Cannot open file \"" + name + "\": " + std::strerror(error));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        ::close(fd);
        throw FileError(notAFile);
    }
    // A file that grows while it is read is still cut off one byte past the limit.
    char chunk[1 << 14];
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        data_.append(chunk, static_cast<std::size_t>(got));
        if (data_.size() > maxBytes) {
            ::close(fd);
            throw FileError(notAFile);
        }
    }
    ::close(fd);
    if (error != 0)
        throw FileError("Cannot read file \"" + name + "\": " + std::strerror(error));
    SkipByteOrderMark();
}

TextReader::TextReader(std::string bytes, const std::filesystem::path& name) : path_(name), data_(std::move(bytes))
{
    SkipByteOrderMark();
}

void TextReader::SkipByteOrderMark()
{
    // A byte-order mark left by an editor saving as UTF-8 is not part of the first number.
    if (data_.size() >= 3 && data_.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos_ = 3;
}

std::string TextReader::nextToken(std::size_t maxLength, const char*)
{
    const std::size_t n = data_.size();
    while (pos_ < n && static_cast<unsigned char>(data_[pos_]) <= 32) {
        const char c = data_[pos_++];
        if (c == '\n' || (c == '\r' && (pos_ >= n || data_[pos_] != '\n')))
            ++line_;
    }
    const std::size_t start = pos_;
    while (pos_ < n && static_cast<unsigned char>(data_[pos_]) > 32)
        ++pos_;
    std::string token = data_.substr(start, pos_ - start);
    // A longer run is not cut into two numbers: the whole run is rejected.
    if (token.size() > maxLength)
        invalidNumber(token, line_);
    return token;
}

void TextReader::invalidNumber(std::string_view token, int line) const
{
    constexpr std::size_t kShown = 64;
    std::string shown = FromWindows1252(token.substr(0, kShown));
    for (char& c : shown)
        if (c == 0x7F)
            c = '?';
    if (token.size() > kShown)
        shown += "...";
    throw FileError("Invalid numeric format in \"" + DisplayName(path_) + "\", line " + std::to_string(line) + ": \""
                      + shown + "\"");
}

double TextReader::readReal()
{
    const std::string token = nextToken(64, "real");
    if (token.empty())
        return 0.0;  // end of file
    double value = 0.0;
    if (!TryStrToFloat(token, value, '.'))
        invalidNumber(token, line_);
    return value;
}

std::int32_t TextReader::readInteger()
{
    const std::string token = nextToken(32, "integer");
    if (token.empty())
        return 0;  // end of file
    std::int32_t value = 0;
    if (!TryStrToInt(token, value))
        invalidNumber(token, line_);
    return value;
}

void TextReader::readLn()
{
    const std::size_t n = data_.size();
    while (pos_ < n) {
        const char c = data_[pos_++];
        if (c == '\n') {
            ++line_;
            return;
        }
        if (c == '\r') {
            if (pos_ < n && data_[pos_] == '\n')
                ++pos_;
            ++line_;
            return;
        }
    }
}

} // namespace orvane

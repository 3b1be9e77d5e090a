#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/TextFile.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

class TextFiles : public ::testing::Test {
protected:
    static constexpr std::size_t kLimit = 4096;
    const std::string kNotAFile = "not a text file";

    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("orvane_textfile_") + info->name() + "_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path file(const char* name) const { return dir_ / name; }

    std::string bytes(const char* name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    void put(const char* name, const std::string& content) const
    {
        std::ofstream(file(name), std::ios::binary) << content;
    }

    // Message of the FileError that f throws, or "" when it throws none.
    template <class F>
    static std::string IoError(F f)
    {
        try {
            f();
        } catch (const FileError& e) {
            return e.what();
        }
        return "";
    }

    fs::path dir_;
};

TEST_F(TextFiles, WriterEndsLinesWithCrLfAndWritesMicroAndDegreeAsSingleBytes)
{
    {
        TextWriter out(file("a.dat"));
        out.writeLine("# Wavelength [\xC2\xB5m] = " + Format("%8.5f", {0.6328}));
        out.writeLine(Format("Ray n\xC2\xB0: %3d ", {0}));
        out.writeLine("");
        out.close();
    }
    EXPECT_EQ("# Wavelength [\xB5m] =  0.63280\r\nRay n\xB0:   0 \r\n\r\n", bytes("a.dat"));

    // The same header lines as the reference run's Airy file, byte for byte.
    {
        TextWriter out(file("Orvane_Airy.dat"));
        out.writeLine(Format("# Refractive index: m =%8.5f, %12.6f", {1.333, 0.0}));
        out.writeLine(Format("# Particle axis: a,b,c = %8.4f  %8.4f %8.4f", {50.0, 50.0, 50.0}));
        out.writeLine(Format("# Wavelength [\xC2\xB5m] = %8.5f", {0.6328}));
        out.writeLine(Format("# Order p = %d", {2}));
    }
    std::ifstream ref(std::string(ORVANE_REFERENCE_DIR) + "/default/Orvane_Airy.dat", std::ios::binary);
    std::string reference(std::istreambuf_iterator<char>(ref), {});
    const std::string written = bytes("Orvane_Airy.dat");
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(reference.substr(0, written.size()), written);
}

TEST_F(TextFiles, WriterCreatesAnewAppendsAndKeepsEveryLineOfALargeFile)
{
    put("t.dat", "old content that must go\r\n");
    {
        TextWriter out(file("t.dat"));
        for (int i = 0; i < 300000; ++i)
            out.writeLine(Format("%12.6f %12.6e", {i * 0.001, i * 1.5}));
    }  // closed by the destructor
    {
        TextWriter more(file("t.dat"), TextWriter::Mode::Append);
        more.writeLine("trailer");
    }
    const std::string all = bytes("t.dat");
    EXPECT_EQ(300000u * 27u + 9u, all.size());
    EXPECT_EQ("    0.000000 0.00000E+000\r\n", all.substr(0, 27));
    EXPECT_EQ(Format("%12.6f %12.6e\r\n", {123456 * 0.001, 123456 * 1.5}), all.substr(123456 * 27, 27));
    EXPECT_EQ("trailer\r\n", all.substr(all.size() - 9));
}

TEST_F(TextFiles, WriterConvertsToWindows1252)
{
    // € and Œ live in 0x80..0x9F; a character the code page lacks and a broken UTF-8
    // sequence become '?'.
    EXPECT_EQ("\x80 \x8C \xE9 \xFF ? ? ?x", ToWindows1252("\xE2\x82\xAC \xC5\x92 \xC3\xA9 \xC3\xBF \xE2\x88\x9A \xF0\x9F\x99\x82 \xC3x"));
    std::string all;
    for (int b = 0x20; b < 0x100; ++b)
        if (b != 0x7F && b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D)
            all.push_back(static_cast<char>(b));
    EXPECT_EQ(all, ToWindows1252(FromWindows1252(all)));
    EXPECT_EQ("\xC2\xB5m \xC2\xB0", FromWindows1252("\xB5m \xB0"));
}

TEST_F(TextFiles, WriterFailuresRaiseInputOutputErrorsNamingTheFile)
{
    fs::create_directory(file("Orvane_t.dat"));  // a folder where the file should be
    EXPECT_EQ("Cannot create file \"Orvane_t.dat\": Is a directory", IoError([&] { TextWriter w(file("Orvane_t.dat")); }));
    EXPECT_EQ("File not found: \"Orvane.eps\"",
              IoError([&] { TextWriter w(file("Orvane.eps"), TextWriter::Mode::Append); }));
    EXPECT_NE("", IoError([&] { TextWriter w(dir_ / "no such folder" / "x.dat"); }));

    // A full disk shows when the buffer goes out, at the latest when the file is closed.
    TextWriter full("/dev/full");
    full.writeLine("one line");
    EXPECT_EQ("Disk full: cannot write \"full\"", IoError([&] { full.close(); }));
    EXPECT_NE("", IoError([&] { full.writeLine("after the failure"); }));
    const std::string message = IoError([] {
        TextWriter w("/dev/full");
        for (int i = 0; i < 100000; ++i)
            w.writeLine("0123456789");
    });
    EXPECT_EQ("Disk full: cannot write \"full\"", message);
}

// The default parameter file, with comments after the numbers.
const char kDefaults[] = "50 50 50   radii a b c\r\n"
                         "0.6328\r\n"
                         "1.333 0.0  index\r\n"
                         "0 1\r\n"
                         "0 4\r\n"
                         "200 1000\r\n"
                         "0\r\n";

TEST_F(TextFiles, ReaderReadsNumbersAndSkipsTheRestOfEachLine)
{
    put("Orvane.par", kDefaults);
    TextReader in(file("Orvane.par"), kLimit, kNotAFile);
    EXPECT_EQ(50.0, in.readReal());
    EXPECT_EQ(50.0, in.readReal());
    EXPECT_EQ(50.0, in.readReal());
    in.readLn();  // "radii a b c" goes
    EXPECT_EQ(0.6328, in.readReal());
    in.readLn();
    EXPECT_EQ(1.333, in.readReal());
    EXPECT_EQ(0.0, in.readReal());
    in.readLn();
    EXPECT_EQ(0.0, in.readReal());
    EXPECT_EQ(1, in.readInteger());
    in.readLn();
    in.readLn();
    EXPECT_EQ(200, in.readInteger());
    EXPECT_EQ(1000, in.readInteger());
    in.readLn();
    EXPECT_EQ(0, in.readInteger());
    in.readLn();
    // Past the end: zeros, no error.
    EXPECT_EQ(0.0, in.readReal());
    EXPECT_EQ(0, in.readInteger());
    in.readLn();
    EXPECT_EQ(0.0, in.readReal());
}

TEST_F(TextFiles, ReaderPassesOverLineEndsAndAcceptsTheForms)
{
    // A number missing on line 1 comes from line 2; blank lines, tabs, bare LF and CR
    // line ends, an exponent, hexadecimal integers, a byte-order mark at the start.
    put("p.par", "\xEF\xBB\xBF" "5E1 -2.5e-1\n\n\t+.5 $1F\r7\r-$10");
    TextReader in(file("p.par"), kLimit, kNotAFile);
    EXPECT_EQ(50.0, in.readReal());
    EXPECT_EQ(-0.25, in.readReal());
    EXPECT_EQ(0.5, in.readReal());
    EXPECT_EQ(31, in.readInteger());
    in.readLn();
    EXPECT_EQ(7, in.readInteger());
    in.readLn();
    EXPECT_EQ(-16, in.readInteger());
    EXPECT_EQ(0, in.readInteger());
}

TEST_F(TextFiles, ReaderRejectsWhatIsNotACompleteNumber)
{
    const std::string real64 = "1." + std::string(62, '0');          // 64 characters: read
    const std::string integer32 = std::string(30, '0') + "42";       // 32 characters: read
    put("ok.par", real64 + " " + integer32 + "\r\n");
    TextReader ok(file("ok.par"), kLimit, kNotAFile);
    EXPECT_EQ(1.0, ok.readReal());
    EXPECT_EQ(42, ok.readInteger());

    // The parameter file's layout: line 4 holds a real and an integer.
    const auto parameterLayout = [](TextReader& in) {
        for (int i = 0; i < 3; ++i)
            in.readReal();
        in.readLn();
        in.readReal();
        in.readLn();
        in.readReal();
        in.readReal();
        in.readLn();
        in.readReal();
        in.readInteger();
    };
    const auto oneReal = [](TextReader& in) { in.readReal(); };
    const auto oneInteger = [](TextReader& in) { in.readInteger(); };

    struct Case {
        const char* id;
        std::string content;
        std::function<void(TextReader&)> read;
        std::string message;
    };
    const std::string name = "Invalid numeric format in \"Orvane.par\", line ";
    std::string polarisation = kDefaults;
    polarisation.replace(polarisation.find("0 1"), 3, "0 1.0");
    const Case cases[] = {
        {"a real for an integer on line 4", polarisation, parameterLayout, name + "4: \"1.0\""},
        {"a decimal comma", "0,6328\r\n", oneReal, name + "1: \"0,6328\""},
        {"a word after blank lines", "\r\n\r\nfifty\r\n", oneReal, name + "3: \"fifty\""},
        {"a 65-character real is not split in two", "1." + std::string(63, '0'), oneReal,
         name + "1: \"1." + std::string(62, '0') + "...\""},
        {"a 33-character integer", std::string(31, '0') + "42", oneInteger, name + "1: \"" + std::string(31, '0') + "42\""},
        {"an integer overflow", "2147483648", oneInteger, name + "1: \"2147483648\""},
        {"a real overflow", "1e999", oneReal, name + "1: \"1e999\""},
        {"binary bytes, shown in the code page", std::string("\x01\x02\xFF\xB5\x7F", 5), oneReal,
         name + "1: \"\xC3\xBF\xC2\xB5?\""},
    };
    for (const Case& c : cases) {
        put("Orvane.par", c.content);
        EXPECT_EQ(c.message, IoError([&] {
            TextReader in(file("Orvane.par"), kLimit, kNotAFile);
            c.read(in);
        })) << c.id;
    }
}

TEST_F(TextFiles, ReaderOfAMissingFileOrAFolderRaisesInputOutputErrors)
{
    EXPECT_EQ("File not found: \"Orvane.par\"", IoError([&] { TextReader in(file("Orvane.par"), kLimit, kNotAFile); }));
    fs::create_directory(file("folder.par"));
    EXPECT_EQ(kNotAFile, IoError([&] { TextReader in(file("folder.par"), kLimit, kNotAFile); }));
}

// Only a regular file within the limit is read: a pipe without a writer would block the
// reader for ever, /dev/zero would feed it until memory runs out. A link to a regular file
// is read like the file.
TEST_F(TextFiles, ReaderReadsOnlyARegularFileWithinItsLimit)
{
    put("limit.par", std::string(kLimit, ' '));
    put("over.par", std::string(kLimit + 1, ' '));
    put("target.par", "42");
    fs::create_symlink(file("target.par"), file("link.par"));
    fs::create_symlink("/dev/zero", file("zero.par"));
    ASSERT_EQ(::mkfifo(file("fifo.par").c_str(), 0600), 0);

    for (const char* name : {"over.par", "zero.par", "fifo.par"})
        EXPECT_EQ(kNotAFile, IoError([&] { TextReader in(file(name), kLimit, kNotAFile); })) << name;
    TextReader atLimit(file("limit.par"), kLimit, kNotAFile);
    EXPECT_EQ(0, atLimit.readInteger());
    TextReader link(file("link.par"), kLimit, kNotAFile);
    EXPECT_EQ(42, link.readInteger());
}

} // namespace
} // namespace orvane

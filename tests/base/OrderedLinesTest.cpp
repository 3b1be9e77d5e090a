#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/OrderedLines.h"
#include "base/TextFile.h"
#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

// Lines of different lengths, some with a character the code page converts (µ is one byte).
void SampleLine(std::size_t i, std::string& text)
{
    FormatTo(text, "%d %12.6e", {static_cast<long long>(i), 1.0 / (1.0 + static_cast<double>(i))});
    if (i % 7 == 3)
        text += " 50 µm";
    text.append(i % 13, 'x');
}

// The bytes writeLine gives lines 0..count-1.
std::string PlainLines(std::size_t count)
{
    std::string lines, text;
    for (std::size_t i = 0; i < count; ++i) {
        text.clear();
        SampleLine(i, text);
        AppendLine(lines, text);
    }
    return lines;
}

TEST(WriteLinesInOrder, GivesTheFileWriteLineGivesWhateverTheThreadsDo)
{
    // Counts around the chunk size and many chunks, and short files that never start the
    // helper; then a helper that dawdles, so that the writer formats the chunks it holds.
    TempFolder dir;
    const std::thread::id caller = std::this_thread::get_id();
    for (const bool slowHelper : {false, true}) {
        for (const std::size_t count : {0u, 1u, 511u, 512u, 513u, 4095u, 4096u, 4097u, 40000u}) {
            for (int threads : {1, 2}) {
                std::vector<std::atomic<int>> calls(count);
                {
                    TextWriter out(dir / "ordered.dat");
                    out.writeLine("# header");
                    WriteLinesInOrder(
                        out, count,
                        [&](std::size_t i, std::string& text) {
                            EXPECT_TRUE(text.empty());
                            ++calls[i];
                            if (slowHelper && i % 1000 == 0 && std::this_thread::get_id() != caller)
                                std::this_thread::sleep_for(std::chrono::milliseconds(3));
                            SampleLine(i, text);
                        },
                        threads);
                    out.writeLine("# after");
                }
                EXPECT_EQ("# header\r\n" + PlainLines(count) + "# after\r\n", ReadBytes(dir / "ordered.dat"))
                    << count << " lines, " << threads << " threads" << (slowHelper ? ", slow helper" : "");
                for (std::size_t i = 0; i < count; ++i)
                    ASSERT_GE(calls[i], 1) << "line " << i << " of " << count << ", " << threads << " threads";
            }
        }
    }
}

TEST(FormatLinesInOrder, HandsOverConsecutiveChunksNoneAcrossACut)
{
    // A run of files, each beginning at a cut: every chunk must start where the last one
    // ended and lie within one file.
    struct Case {
        std::size_t count;
        std::vector<std::size_t> cuts;
    };
    std::vector<std::size_t> files;
    for (std::size_t f = 0; f < 51; ++f)
        files.push_back(f * 5001);
    const std::vector<Case> cases = {
        {40000, {}}, {51 * 5001, files}, {30000, {0, 1, 2, 700, 701, 4096, 29999}}, {3, {0, 1, 2}}, {100, {100}}};
    for (const Case& c : cases) {
        for (int threads : {1, 2}) {
            std::string all;
            std::size_t next = 0;
            FormatLinesInOrder(
                c.count, c.cuts, SampleLine,
                [&](std::size_t first, std::string_view lines) {
                    EXPECT_EQ(next, first);
                    const auto count = static_cast<std::size_t>(std::count(lines.begin(), lines.end(), '\n'));
                    EXPECT_GT(count, 0u);
                    for (std::size_t cut : c.cuts)
                        EXPECT_FALSE(first < cut && cut < first + count) << "chunk " << first << " crosses " << cut;
                    next = first + count;
                    all += lines;
                },
                threads);
            EXPECT_EQ(next, c.count);
            EXPECT_TRUE(all == PlainLines(c.count)) << c.count << " lines, " << threads << " threads";
        }
    }
}

TEST(WriteLinesInOrder, AnErrorOnEitherThreadEndsTheWorkAndReachesTheCaller)
{
    // A formatter failing early, in the middle or at the last line, on whichever thread
    // formats that line; then a disk that fills up under the writer while the helper runs on.
    TempFolder dir;
    const std::size_t count = 20000;
    for (int threads : {1, 2}) {
        for (const std::size_t bad : {std::size_t{0}, std::size_t{700}, std::size_t{9999}, count - 1}) {
            TextWriter out(dir / "bad.dat");
            EXPECT_THROW(WriteLinesInOrder(
                             out, count,
                             [&](std::size_t i, std::string& text) {
                                 if (i == bad)
                                     throw ConversionError("line " + std::to_string(i));
                                 SampleLine(i, text);
                             },
                             threads),
                         ConversionError)
                << "bad line " << bad << ", " << threads << " threads";
        }
        TextWriter full("/dev/full");
        try {
            WriteLinesInOrder(full, count, SampleLine, threads);
            ADD_FAILURE() << "a full disk went unnoticed, " << threads << " threads";
        } catch (const FileError& e) {
            EXPECT_STREQ("Disk full: cannot write \"full\"", e.what());
        }
    }
}

TEST(WriteLinesInOrder, FaultFlagsRaisedOnTheHelperThreadReachTheCaller)
{
    // The run tests the flags on its own thread after the files: a fault met while the
    // helper formatted must not be lost with the helper.
    TempFolder dir;
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> helped{false};
    std::feclearexcept(FE_ALL_EXCEPT);
    {
        TextWriter out(dir / "flags.dat");
        WriteLinesInOrder(out, 40000, [&](std::size_t i, std::string& text) {
            if (std::this_thread::get_id() != caller) {
                helped = true;
                std::feraiseexcept(FE_OVERFLOW);
            }
            SampleLine(i, text);
        });
    }
    if (!helped)
        GTEST_SKIP() << "the helper formatted no chunk";
    EXPECT_TRUE(std::fetestexcept(FE_OVERFLOW));
    std::feclearexcept(FE_ALL_EXCEPT);
}

} // namespace
} // namespace orvane

#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "numeric/Errors.h"
#include "numeric/Format.h"
#include "numeric/OrderedLines.h"
#include "numeric/TextFile.h"
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

TEST(WriteLinesInOrder, GivesTheFileWriteLineGivesEachLineFormattedOnce)
{
    // Counts around the chunk size and many chunks, so that the helper runs far ahead of
    // a writer it must wait for, and short files that never start it.
    TempFolder dir;
    for (const std::size_t count : {0u, 1u, 511u, 512u, 513u, 4095u, 4096u, 4097u, 40000u}) {
        std::string expected;
        {
            TextWriter plain(dir / "plain.dat");
            std::string text;
            for (std::size_t i = 0; i < count; ++i) {
                text.clear();
                SampleLine(i, text);
                plain.writeLine(text);
            }
        }
        expected = ReadBytes(dir / "plain.dat");
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
                        SampleLine(i, text);
                    },
                    threads);
                out.writeLine("# after");
            }
            EXPECT_EQ("# header\r\n" + expected + "# after\r\n", ReadBytes(dir / "ordered.dat"))
                << count << " lines, " << threads << " threads";
            for (std::size_t i = 0; i < count; ++i)
                ASSERT_EQ(calls[i], 1) << "line " << i << " of " << count << ", " << threads << " threads";
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
                                     throw EConvertError("line " + std::to_string(i));
                                 SampleLine(i, text);
                             },
                             threads),
                         EConvertError)
                << "bad line " << bad << ", " << threads << " threads";
        }
        TextWriter full("/dev/full");
        try {
            WriteLinesInOrder(full, count, SampleLine, threads);
            ADD_FAILURE() << "a full disk went unnoticed, " << threads << " threads";
        } catch (const EInOutError& e) {
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

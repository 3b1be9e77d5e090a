// Generated parameter files: well-formed ones must read back exactly what was written,
// malformed ones must either read or raise FileError with the parameters untouched.
// Never a crash, a hang or another kind of error.

#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "run/ParameterFile.h"
#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

using testing::TempFolder;

class Generator {
public:
    explicit Generator(std::uint32_t seed) : rng_(seed) {}

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }

    // A real written as a person might: plain, with decimals, with an exponent.
    std::string real()
    {
        char buffer[64];
        const int kind = pick(4);
        if (kind == 0)
            return std::to_string(pick(2001) - 1000);
        const double value = std::uniform_real_distribution<double>(-1000.0, 1000.0)(rng_);
        const auto format = kind == 1 ? std::chars_format::fixed : kind == 2 ? std::chars_format::scientific
                                                                              : std::chars_format::general;
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, format, pick(12));
        return std::string(buffer, r.ptr);
    }

    std::int32_t integer() { return std::uniform_int_distribution<std::int32_t>(-100000, 100000)(rng_); }

    std::string separator()
    {
        static const char* const kinds[] = {" ", "  ", "\t", " \t "};
        return kinds[pick(4)];
    }

    std::string lineEnd() { return chance(70) ? "\r\n" : "\n"; }

    std::string comment()
    {
        static const char* const words[] = {"", "", " radius", " micrometres 1.0 x", " \xB5m", " ; 7 8 9"};
        return words[pick(6)];
    }

    // Any fragment, good or bad, for the malformed files.
    std::string fragment()
    {
        switch (pick(10)) {
        case 0: return real();
        case 1: return std::to_string(integer());
        case 2: return separator();
        case 3: return lineEnd();
        case 4: {  // a word
            static const char* const words[] = {"abc", "E5", "1e", "--1", "0x10", "$", "$G1", "1,5", "nan", "inf", "."};
            return words[pick(11)];
        }
        case 5: return std::string(static_cast<std::size_t>(30 + pick(50)), static_cast<char>('0' + pick(10)));
        case 6: {  // binary bytes
            std::string bytes(static_cast<std::size_t>(1 + pick(12)), '\0');
            for (char& c : bytes)
                c = static_cast<char>(pick(256));
            return bytes;
        }
        case 7: return "\r\n\r\n";  // blank lines
        case 8: return "$" + std::to_string(pick(100000));
        default: return std::to_string(pick(10)) + "." + std::to_string(pick(1000)) + "e" + std::to_string(pick(700) - 350);
        }
    }

private:
    std::mt19937 rng_;
};

double ParseReal(const std::string& text)
{
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

TEST(ParameterFileRandom, WellFormedFilesReadBackExactly)
{
    Generator gen(20240611);
    TempFolder dir;
    const auto file = dir.path() / "Orvane.par";
    for (int round = 0; round < 1000; ++round) {
        std::vector<std::string> reals;
        std::vector<std::int32_t> ints;
        for (int k = 0; k < 7; ++k)
            reals.push_back(gen.real());
        for (int k = 0; k < 6; ++k)
            ints.push_back(gen.integer());

        // The values of each line, then a comment, then the line end; a file may stop
        // early, before any line.
        const std::vector<std::vector<std::string>> lines = {
            {reals[0], reals[1], reals[2]},
            {reals[3]},
            {reals[4], reals[5]},
            {reals[6], std::to_string(ints[0])},
            {std::to_string(ints[1]), std::to_string(ints[2])},
            {std::to_string(ints[3]), std::to_string(ints[4])},
            {std::to_string(ints[5])},
        };
        const int lineCount = gen.chance(80) ? 7 : gen.pick(8);
        std::string text;
        for (int l = 0; l < lineCount; ++l) {
            if (gen.chance(20))
                text += gen.separator();
            for (std::size_t v = 0; v < lines[static_cast<std::size_t>(l)].size(); ++v)
                text += (v == 0 ? "" : gen.separator()) + lines[static_cast<std::size_t>(l)][v];
            text += gen.comment();
            if (l + 1 < lineCount || gen.chance(50))
                text += gen.lineEnd();
        }
        dir.write("Orvane.par", text);

        ParameterFileValues p;
        ASSERT_NO_THROW(p = ReadParameterFile(file)) << "round " << round << ":\n" << text;
        auto realAt = [&](int k, int line) { return lineCount > line ? ParseReal(reals[static_cast<std::size_t>(k)]) : 0.0; };
        auto intAt = [&](int k, int line) { return lineCount > line ? ints[static_cast<std::size_t>(k)] : 0; };
        const std::string id = "round " + std::to_string(round) + ":\n" + text;
        EXPECT_EQ(p.RadiusA, realAt(0, 0)) << id;
        EXPECT_EQ(p.RadiusB, realAt(1, 0)) << id;
        EXPECT_EQ(p.RadiusC, realAt(2, 0)) << id;
        EXPECT_EQ(p.Wavelength, realAt(3, 1)) << id;
        EXPECT_EQ(p.IndexRe, realAt(4, 2)) << id;
        EXPECT_EQ(p.IndexIm, realAt(5, 2)) << id;
        EXPECT_EQ(p.IncAngleDegrees, realAt(6, 3)) << id;
        EXPECT_EQ(p.Polar, intAt(0, 3)) << id;
        EXPECT_EQ(p.MinP, intAt(1, 4)) << id;
        EXPECT_EQ(p.MaxP, intAt(2, 4)) << id;
        EXPECT_EQ(p.NumIncRays, intAt(3, 5)) << id;
        EXPECT_EQ(p.NumScaRays, intAt(4, 5)) << id;
        EXPECT_EQ(p.Reserved, intAt(5, 6)) << id;
        if (::testing::Test::HasFailure())
            return;
    }
}

TEST(ParameterFileRandom, MalformedFilesReadOrFailCleanly)
{
    Generator gen(7);
    TempFolder dir;
    const auto file = dir.path() / "Orvane.par";
    const auto start = std::chrono::steady_clock::now();
    int failures = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int pieces = gen.pick(40);
        for (int k = 0; k < pieces; ++k)
            text += gen.fragment();
        dir.write("Orvane.par", text);

        try {
            ReadParameterFile(file);
        } catch (const FileError&) {
            ++failures;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "round " << round << ": " << e.what();
        }
        if (::testing::Test::HasFailure())
            return;
    }
    // Both outcomes occur, so the generator reaches the reader's error paths and past them.
    EXPECT_GT(failures, 100);
    EXPECT_LT(failures, 2000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

} // namespace
} // namespace orvane

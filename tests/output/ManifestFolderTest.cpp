// The manifest names the run's files the same whichever way its folder is spelled: "dir",
// "dir/" and "dir/." are one folder, and a run's own files are never listed as earlier ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "output/OutputFiles.h"
#include "output/RunManifest.h"
#include "tests/support/ReferenceFiles.h"
#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

TEST(RunManifest, NamesTheFolderSFilesPlainlyHoweverTheFolderIsWritten)
{
    for (const char* spelling : {"", "/", "/."}) {
        TempFolder dir;
        dir.write("Orvane_3.dat", "an order of an older run\r\n");
        for (int run = 0; run < 2; ++run) {
            OutputFiles files(dir.path().string() + spelling);
            files.create("Orvane_t.dat").writeLine("total");
            files.create("Orvane_0.dat").writeLine("order 0");
            files.describe(RunManifest{"scattering diagram", {}});
            files.commit();
        }
        const testing::CrLfLines lines = testing::SplitCrLf(ReadBytes(dir / "Orvane_run.txt"));
        ASSERT_TRUE(lines.ok) << spelling;
        std::vector<std::string> named;
        for (const std::string& line : lines.lines)
            if (line.rfind("File: ", 0) == 0 || line.rfind("Earlier file: ", 0) == 0)
                named.push_back(line);
        EXPECT_EQ(named, (std::vector<std::string>{"File: Orvane_0.dat", "File: Orvane_t.dat",
                                                   "Earlier file: Orvane_3.dat"}))
            << "folder \"dir" << spelling << "\"";
    }
}

} // namespace
} // namespace orvane

// End to end: the EPS files of the reference runs, from their parameter files and
// options, byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/RunControl.h"
#include "raytrace/RecordingCanvas.h"
#include "run/FieldInputs.h"
#include "run/Jobs.h"
#include "run/ParameterFile.h"
#include "tests/run/PictureTestSupport.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::ReadCrLfLines;
using testing::TempFolder;

struct ReferenceCase {
    const char* folder;
    int width, height;
    const char* rays;           // --rays, or nullptr for the field's default
    const char* ellipsoidSize;  // --ellipsoid-size, or nullptr
};

TEST(ReferencePicture, ReproducesTheReferenceEpsFiles)
{
    const ReferenceCase cases[] = {
        {"default", 518, 391, nullptr, nullptr},
        {"spheroid", 700, 500, "12", "0.7"},
        {"spheroid-entry-fresnel", 700, 500, "12", "0.7"},
    };
    for (const ReferenceCase& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::filesystem::path reference = std::filesystem::path(ORVANE_REFERENCE_DIR) / c.folder;
        auto fields = std::make_unique<Fields>();
        WriteParametersToFields(ReadParameterFile(reference / "Orvane.par"), *fields);
        if (c.rays)
            fields->CbxNumRay = c.rays;
        if (c.ellipsoidSize)
            fields->LblEdtSizeEll = c.ellipsoidSize;

        TempFolder folder;
        RecordingControl sink;
        const Picture picture = ComputePicture(ReadPictureInputs(*fields, '.', sink), c.width, c.height);
        WritePictureFile(picture, {folder.path(), '.'});

        EXPECT_TRUE(sink.messages.empty());
        const auto written = folder.path() / "Orvane.eps";
        const auto expected = reference / "Orvane.eps";
        // The first differing line, for a readable failure; then every byte.
        const auto got = ReadCrLfLines(written), want = ReadCrLfLines(expected);
        EXPECT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size() && i < want.size(); ++i) {
            if (got[i] != want[i]) {
                ADD_FAILURE() << "line " << i + 1 << ": \"" << got[i] << "\", expected \"" << want[i] << "\"";
                break;
            }
        }
        EXPECT_TRUE(ReadBytes(written) == ReadBytes(expected));
    }
}

} // namespace
} // namespace orvane

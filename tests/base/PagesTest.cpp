#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "base/Pages.h"

namespace orvane {
namespace {

TEST(Pages, BlocksOfAnySizeAreZeroedWritableToTheirLastByteAndGivenBack)
{
    // Sizes around the 2 MB pages the block is cut to, in both page sizes; a block that
    // lost a page to the trimming would fault when written through.
    for (bool mostlyUsed : {false, true}) {
        for (std::size_t bytes : {std::size_t{1}, std::size_t{4096}, std::size_t{(2u << 20) - 8}, std::size_t{2u << 20},
                                  std::size_t{(2u << 20) + 8}, std::size_t{14'282'856}}) {
            for (int round = 0; round < 2; ++round) {  // the second finds no leftovers of the first
                auto* block = static_cast<unsigned char*>(AllocateZeroedPages(bytes, mostlyUsed));
                std::size_t nonZero = 0;
                for (std::size_t i = 0; i < bytes; ++i)
                    nonZero += block[i] != 0;
                EXPECT_EQ(0u, nonZero) << bytes << " bytes";
                std::memset(block, 0xA5, bytes);
                FreePages(block, bytes);
            }
        }
    }
    ZeroedDoubles doubles(300'000, true);
    EXPECT_EQ(0.0, doubles.data()[0]);
    EXPECT_EQ(0.0, doubles.data()[299'999]);
}

} // namespace
} // namespace orvane

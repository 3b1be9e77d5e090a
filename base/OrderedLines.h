// Long text files formatted on two threads and written in order: the data files of the
// angle grid and of the rays, where turning numbers into text is most of the work.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace orvane {

class TextWriter;

// Appends the text of line i, without its line end, to `text` (which arrives empty). It may
// be called from either thread, and for a few lines twice (when one thread stands in for
// the other): it must change nothing shared.
using LineFormatter = std::function<void(std::size_t i, std::string& text)>;

// Receives finished lines first, first+1, ... as writeLine would write them (Windows-1252,
// each ended by CR LF), always on the thread that called FormatLinesInOrder.
using ChunkWriter = std::function<void(std::size_t first, std::string_view lines)>;

// Formats lines 0..count-1 and hands them to `write` in order, in chunks that never cross
// one of the line numbers in `cuts` (ascending; where the files begin, so that a chunk
// belongs to one file). The lines are formatted on up to `threads` (1 or 2) threads, a few
// chunks ahead of the writing at most; this thread never waits for the helper, it formats
// what it needs itself. An exception from either thread ends the work and is rethrown here
// once the helper has stopped; the floating-point flags the helper raised are raised here.
void FormatLinesInOrder(std::size_t count, std::span<const std::size_t> cuts, const LineFormatter& line,
                        const ChunkWriter& write, int threads = 2);

// Writes lines 0..count-1 to `out` in order, exactly as writeLine would.
void WriteLinesInOrder(TextWriter& out, std::size_t count, const LineFormatter& line, int threads = 2);

} // namespace orvane

// Long text files formatted on two threads and written in order: the data files of the
// angle grid and of the rays, where turning numbers into text is most of the work.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace orvane {

class TextWriter;

// Appends the text of line i, without its line end, to `text` (which arrives empty). It is
// called once for each line, from either thread, and must change nothing shared.
using LineFormatter = std::function<void(std::size_t i, std::string& text)>;

// Writes lines 0..count-1 to `out` in order, exactly as writeLine would. Chunks of lines are
// formatted on up to `threads` (1 or 2) threads while this thread writes the finished ones
// in order, a few chunks ahead at most; the file is the same whatever the threads. An
// exception from either thread ends the work and is rethrown here once the helper has
// stopped; the floating-point flags the helper raised are raised here too.
void WriteLinesInOrder(TextWriter& out, std::size_t count, const LineFormatter& line, int threads = 2);

} // namespace orvane

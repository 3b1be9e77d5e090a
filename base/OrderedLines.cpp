#include "base/OrderedLines.h"

#include <algorithm>
#include <array>
#include <cfenv>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/TextFile.h"

namespace orvane {

namespace {

// A chunk is a few tenths of a millisecond of formatting; the helper runs at most kAhead
// chunks ahead of the writing, which bounds the memory whatever the length.
constexpr std::size_t kChunkLines = 512;
constexpr std::size_t kAhead = 8;
// Below this many lines (a millisecond or so of formatting) a second thread is not worth
// starting.
constexpr std::size_t kParallelLines = 8 * kChunkLines;
constexpr int kFpFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

struct Chunk {
    std::size_t first;
    std::size_t last;
};

// Lines 0..count-1 in chunks of at most kChunkLines, none across a cut.
std::vector<Chunk> CutIntoChunks(std::size_t count, std::span<const std::size_t> cuts)
{
    std::vector<Chunk> chunks;
    std::size_t first = 0;
    auto cut = cuts.begin();
    while (first < count) {
        while (cut != cuts.end() && *cut <= first)
            ++cut;
        const std::size_t end = cut != cuts.end() ? std::min(*cut, count) : count;
        const std::size_t last = std::min(end, first + kChunkLines);
        chunks.push_back({first, last});
        first = last;
    }
    return chunks;
}

void FormatChunk(const LineFormatter& line, Chunk chunk, std::string& lines, std::string& text)
{
    lines.clear();
    for (std::size_t i = chunk.first; i < chunk.last; ++i) {
        text.clear();
        line(i, text);
        AppendLine(lines, text);
    }
}

// The chunks' storage, kept by the writing thread from file to file: a run writes dozens of
// files one after the other, and storage given back to the system after each one would be
// faulted in again for the next (each 4 KB page at the cost of formatting a few lines).
std::array<std::string, kAhead + 1>& KeptChunks()
{
    thread_local std::array<std::string, kAhead + 1> kept;
    return kept;
}

// The helper formats the next free chunk into its slot; the writer writes the chunks in
// order. While the helper holds the chunk due next, the writer formats chunks ahead; when
// it can take none, it formats the due chunk itself rather than wait (on a busy machine the
// helper may not run for milliseconds), and the helper's copy is dropped.
class TwoThreadFormatter {
public:
    TwoThreadFormatter(const std::vector<Chunk>& chunks, const LineFormatter& line, const ChunkWriter& write)
        : chunks_(chunks), line_(line), write_(write), own_(KeptChunks()[kAhead])
    {
    }

    // False when no helper thread can be had: then nothing has been done.
    bool run()
    {
        std::thread helper;
        try {
            helper = std::thread([this] { help(); });
        } catch (const std::system_error&) {
            return false;
        }
        try {
            write();
        } catch (...) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                stop_ = true;
            }
            changed_.notify_all();
            helper.join();
            throw;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        helper.join();
        if (helperError_)
            std::rethrow_exception(helperError_);
        if (helperFaults_)
            std::feraiseexcept(helperFaults_);
        return true;
    }

private:
    enum class State { Free, Formatting, Ready };
    struct Slot {
        std::string& lines;
        State state = State::Free;
        std::size_t chunk = 0;
    };

    Slot& slotOf(std::size_t c) { return slots_[c % kAhead]; }
    bool canTake() const
    {
        return next_ < chunks_.size() && next_ < written_ + kAhead && slots_[next_ % kAhead].state == State::Free;
    }

    // Takes chunk next_ and formats it into its slot with the lock released.
    void formatNext(std::unique_lock<std::mutex>& lock, std::string& text)
    {
        const std::size_t c = next_++;
        Slot& slot = slotOf(c);
        slot.state = State::Formatting;
        slot.chunk = c;
        lock.unlock();
        FormatChunk(line_, chunks_[c], slot.lines, text);
        lock.lock();
        // Written meanwhile from the writer's own copy: this one is not needed.
        slot.state = c < written_ ? State::Free : State::Ready;
        changed_.notify_all();
    }

    void help()
    {
        std::feclearexcept(kFpFaults);
        std::string text;
        std::unique_lock<std::mutex> lock(mutex_);
        try {
            for (;;) {
                changed_.wait(lock, [this] { return stop_ || next_ >= chunks_.size() || canTake(); });
                if (stop_ || next_ >= chunks_.size())
                    break;
                formatNext(lock, text);
            }
        } catch (...) {
            if (!lock.owns_lock())
                lock.lock();
            helperError_ = std::current_exception();
        }
        helperFaults_ = std::fetestexcept(kFpFaults);
    }

    void write()
    {
        std::string text;
        std::unique_lock<std::mutex> lock(mutex_);
        while (written_ < chunks_.size() && !helperError_) {
            Slot& due = slotOf(written_);
            if (due.state == State::Ready && due.chunk == written_) {
                lock.unlock();
                write_(chunks_[written_].first, due.lines);
                lock.lock();
                due.state = State::Free;
            } else if (next_ > written_ && canTake()) {
                formatNext(lock, text);  // the helper has the due chunk: work ahead meanwhile
                continue;
            } else {
                // The due chunk is nobody's yet, or the helper's and nothing else is left.
                if (next_ == written_)
                    ++next_;
                const Chunk chunk = chunks_[written_];
                lock.unlock();
                FormatChunk(line_, chunk, own_, text);
                write_(chunk.first, own_);
                lock.lock();
            }
            ++written_;
            changed_.notify_all();
        }
    }

    const std::vector<Chunk>& chunks_;
    const LineFormatter& line_;
    const ChunkWriter& write_;
    std::string& own_;
    std::array<Slot, kAhead> slots_ = SlotsOverKept(std::make_index_sequence<kAhead>());
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;     // the next chunk nobody has taken
    std::size_t written_ = 0;  // chunks written
    bool stop_ = false;
    std::exception_ptr helperError_;
    int helperFaults_ = 0;

    template <std::size_t... i>
    static std::array<Slot, kAhead> SlotsOverKept(std::index_sequence<i...>)
    {
        return {Slot{KeptChunks()[i]}...};
    }
};

} // namespace

void FormatLinesInOrder(std::size_t count, std::span<const std::size_t> cuts, const LineFormatter& line,
                        const ChunkWriter& write, int threads)
{
    const std::vector<Chunk> chunks = CutIntoChunks(count, cuts);
    // Without a helper thread this one does it all.
    if (threads > 1 && count >= kParallelLines && TwoThreadFormatter(chunks, line, write).run())
        return;
    std::string& lines = KeptChunks()[kAhead];
    std::string text;
    for (const Chunk& chunk : chunks) {
        FormatChunk(line, chunk, lines, text);
        write(chunk.first, lines);
    }
}

void WriteLinesInOrder(TextWriter& out, std::size_t count, const LineFormatter& line, int threads)
{
    FormatLinesInOrder(count, {}, line, [&](std::size_t, std::string_view lines) { out.writeLines(lines); }, threads);
}

} // namespace orvane

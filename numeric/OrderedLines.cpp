#include "numeric/OrderedLines.h"

#include <algorithm>
#include <array>
#include <cfenv>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "numeric/TextFile.h"

namespace orvane {

namespace {

// A chunk is a few tenths of a millisecond of formatting; the helper runs at most kAhead
// chunks ahead of the writer, which bounds the memory whatever the file's length.
constexpr std::size_t kChunkLines = 512;
constexpr std::size_t kAhead = 8;
// Below this many lines (a millisecond or so of formatting) a second thread is not worth
// starting.
constexpr std::size_t kParallelLines = 8 * kChunkLines;
constexpr int kFpFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

void FormatChunk(const LineFormatter& line, std::size_t first, std::size_t last, std::string& chunk,
                 std::string& text)
{
    chunk.clear();
    for (std::size_t i = first; i < last; ++i) {
        text.clear();
        line(i, text);
        AppendLine(chunk, text);
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

class TwoThreadWriter {
public:
    TwoThreadWriter(TextWriter& out, std::size_t count, const LineFormatter& line)
        : out_(out), count_(count), chunks_((count + kChunkLines - 1) / kChunkLines), line_(line)
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
        helper.join();
        if (helperError_)
            std::rethrow_exception(helperError_);
        if (helperFaults_)
            std::feraiseexcept(helperFaults_);
        return true;
    }

private:
    struct Slot {
        std::string& lines;
        bool ready = false;
    };

    bool canTake() const { return next_ < chunks_ && next_ < written_ + kAhead; }

    // Formats chunk c with the lock released; chunks written_..written_+kAhead-1 have
    // slots of their own, so no one else touches this one meanwhile.
    void format(std::unique_lock<std::mutex>& lock, std::size_t c, std::string& text)
    {
        Slot& slot = slots_[c % kAhead];
        lock.unlock();
        FormatChunk(line_, c * kChunkLines, std::min(count_, (c + 1) * kChunkLines), slot.lines, text);
        lock.lock();
        slot.ready = true;
        changed_.notify_all();
    }

    void help()
    {
        std::feclearexcept(kFpFaults);
        std::string text;
        std::unique_lock<std::mutex> lock(mutex_);
        try {
            for (;;) {
                changed_.wait(lock, [this] { return stop_ || next_ >= chunks_ || canTake(); });
                if (stop_ || next_ >= chunks_)
                    break;
                format(lock, next_++, text);
            }
        } catch (...) {
            if (!lock.owns_lock())
                lock.lock();
            helperError_ = std::current_exception();
            changed_.notify_all();
        }
        helperFaults_ = std::fetestexcept(kFpFaults);
    }

    // The writer: the next chunk in order as soon as it is ready, meanwhile chunks of its own.
    void write()
    {
        std::string text;
        std::unique_lock<std::mutex> lock(mutex_);
        while (written_ < chunks_) {
            Slot& slot = slots_[written_ % kAhead];
            changed_.wait(lock, [&] { return slot.ready || helperError_ || canTake(); });
            if (helperError_)
                return;
            if (slot.ready) {
                lock.unlock();
                out_.writeLines(slot.lines);
                lock.lock();
                slot.ready = false;
                ++written_;
                changed_.notify_all();
            } else {
                format(lock, next_++, text);
            }
        }
    }

    TextWriter& out_;
    const std::size_t count_;
    const std::size_t chunks_;
    const LineFormatter& line_;
    std::array<Slot, kAhead> slots_ = SlotsOverKept(std::make_index_sequence<kAhead>());

    template <std::size_t... i>
    static std::array<Slot, kAhead> SlotsOverKept(std::index_sequence<i...>)
    {
        return {Slot{KeptChunks()[i]}...};
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;     // the next chunk to format
    std::size_t written_ = 0;  // chunks written
    bool stop_ = false;
    std::exception_ptr helperError_;
    int helperFaults_ = 0;
};

} // namespace

void WriteLinesInOrder(TextWriter& out, std::size_t count, const LineFormatter& line, int threads)
{
    // Without a helper thread this one does it all.
    if (threads > 1 && count >= kParallelLines && TwoThreadWriter(out, count, line).run())
        return;
    std::string& chunk = KeptChunks()[kAhead];
    std::string text;
    for (std::size_t first = 0; first < count; first += kChunkLines) {
        FormatChunk(line, first, std::min(count, first + kChunkLines), chunk, text);
        out.writeLines(chunk);
    }
}

} // namespace orvane

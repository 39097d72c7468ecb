#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

class lsFactorReader;

// The size of the chunks the sources hand out: one stays in the L2 cache while it is
// walked, and the walk looks at its cancellation flag every fraction of a millisecond.
inline constexpr std::size_t lsChunkBytes = std::size_t(64) << 10;

// The commands the interpreter walks, handed over a chunk at a time: a string in memory
// (lsStringSource) or a pass expanded on the fly (lsPassStream). A chunk may end anywhere,
// in the number after an '@' too: the walk then reads the rest of the number ahead of its
// place (readAhead), so that it reads every factor as it would from one string.
//
// How the names relate: rewriting makes an lsString (engine/lsstring.h), the bytes of one
// pass. A pass too long to keep as a string is never written out: an lsPassStream expands
// it anew on every walk. Either way the interpreter reads it through an lsCommandSource,
// lsStringSource being the one over an lsString. Above the engine, FigurePass
// (figure/figurepass.h) is the pass a figure shows, holding one or the other, and makes a
// fresh source for each walk.
//
// Between chunks the source reports progress and looks at a cancellation flag, so that a
// long walk can show how far it got and stop soon after it is asked to.
class lsCommandSource
{
public:
    // Called from the walking thread before each chunk and once at the end, with the
    // commands walked so far and the whole length: keep it cheap.
    using Progress = std::function<void(std::uint64_t done, std::uint64_t length)>;

    lsCommandSource(const lsCommandSource &) = delete;
    lsCommandSource &operator=(const lsCommandSource &) = delete;
    virtual ~lsCommandSource() = default;

    // The next chunk; empty at the end of the commands, and from the moment the
    // cancellation flag is seen set.
    std::string_view next();
    // Back to the first chunk, for another walk over the same commands (cancelled() is
    // false again until the flag is next seen set).
    void rewind();

    // Feeds the reader the commands after the chunk handed out last until it has read its
    // number or they end; the next chunk is still the one that follows. Each character is
    // read ahead at most once per walk, since a number holds no '@'. Stops, with
    // cancelled() true, when the cancellation flag is set.
    void readAhead(lsFactorReader &reader);

    // The exact number of commands (saturated at lsLengthOverflow for a pass too long to count).
    std::uint64_t length() const { return mLength; }
    // True once a walk stopped because the cancellation flag was set: what it computed is
    // incomplete.
    bool cancelled() const { return mCancelled; }
    // Looks at the cancellation flag as a walk does before each chunk; true (and
    // cancelled() true) when it is set.
    bool lookForCancel();

    // cancel (may be null) is polled before each chunk; progress (may be empty) is told
    // how far the walk got.
    void watch(const std::atomic<bool> *cancel, Progress progress);

    // A new source over the same commands from the first chunk, watching the same
    // cancellation flag and reporting no progress, for a second thread to walk beside this
    // one.
    std::unique_ptr<lsCommandSource> fork() const;

protected:
    explicit lsCommandSource(std::uint64_t length)
        : mLength(length)
    { }

    // The next chunk, empty at the end.
    virtual std::string_view fill() = 0;
    // Starts over from the first chunk.
    virtual void restart() = 0;
    // Hands the commands after the current chunk to `take`, a piece at a time, until it
    // returns false or they end, without moving the place of the next chunk.
    virtual void peek(const std::function<bool(std::string_view)> &take) = 0;
    // A new source over the same commands, unwatched.
    virtual std::unique_ptr<lsCommandSource> replica() const = 0;

private:
    const std::atomic<bool> *mCancel = nullptr;
    Progress mProgress;
    std::uint64_t mLength;
    std::uint64_t mDone = 0;
    bool mCancelled = false;
};

// A string in memory, in chunks of about lsChunkBytes, so that a walk over a long one can
// still be followed and cancelled. The string must outlive the source.
class lsStringSource final : public lsCommandSource
{
public:
    explicit lsStringSource(std::string_view commands);

private:
    std::string_view fill() override;
    void restart() override { mNext = 0; }
    void peek(const std::function<bool(std::string_view)> &take) override;
    std::unique_ptr<lsCommandSource> replica() const override;

    std::string_view mCommands;
    std::size_t mNext = 0;
};

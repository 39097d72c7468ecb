#include "engine/interpreter.h"

#include "engine/pipedwalk.h"
#include "engine/reduction.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <future>
#include <new>
#include <span>
#include <system_error>

namespace {

using lsDetail::Box;
using lsDetail::walkInto;

struct MeasureConsumer
{
    void take(const double *xyz, std::size_t n, std::span<const std::size_t>) { box.grow(xyz, n); }
    void endStrip(std::size_t) { }

    Box box;
};

// Commands at least this long are counted on a second thread while the walk builds, which
// needs the count only once the storage an earlier build left is full. Shorter ones are
// counted first: a thread would cost more than it saves.
constexpr std::uint64_t kCountBesideCommands = std::uint64_t(1) << 20;

// A build's count: taken before the walk, or on a thread of its own over a fork of the
// commands (which sees the same cancellation flag).
class BuildCount
{
public:
    explicit BuildCount(lsCommandSource &commands)
    {
        if (commands.length() >= kCountBesideCommands) {
            try {
                mCounting = std::async(std::launch::async, [this, fork = commands.fork()] {
                    mCounted = lsCountGeometry(*fork, mCount);
                    mReady.store(true, std::memory_order_release);
                });
                return;
            } catch (const std::system_error &) { // no thread to be had: count here
            }
        }
        mCounted = lsCountGeometry(commands, mCount);
        mReady.store(true, std::memory_order_relaxed);
    }

    bool ready() const { return mReady.load(std::memory_order_acquire); }
    // Waits for the count (rethrowing what counting threw); null when it was cancelled.
    const lsGeometryCount *get()
    {
        if (mCounting.valid())
            mCounting.get();
        return mCounted ? &mCount : nullptr;
    }

private:
    lsGeometryCount mCount;
    bool mCounted = false;
    std::atomic<bool> mReady = false;
    std::future<void> mCounting; // waited for on destruction
};

// Thrown from a walk whose count refuses the geometry, to stop it there.
struct Refused
{ };

// Sizes v for n elements, keeping its first `used` elements and, when it is large enough
// and at most twice that, its storage: writing memory again is cheap, fresh memory costs a
// page fault per page, which is most of the time of a large build. Leaves v with `used`
// elements.
template<typename T>
void fitStorage(std::vector<T> &v, std::size_t used, std::size_t n)
{
    v.resize(used);
    if (v.capacity() >= n && v.capacity() / 2 <= n)
        return;
    if (v.empty())
        v = {}; // nothing to keep: let go of the memory before taking more
    std::vector<T> fitted;
    fitted.reserve(n);
    lsAdviseHugePages(fitted.data(), n * sizeof(T));
    fitted.assign(v.begin(), v.end());
    v = std::move(fitted);
}

// Appends the vertices as floats to the geometry's vertex array and records the strips,
// sized exactly by the count (lsCountGeometry). Until the count is known the walk writes
// into the storage an earlier build left, and waits for the count once that is full.
// Should the walk ever give other than the count (a command one of them does not know, a
// source that replays differently), it writes nothing past the count and reports the
// disagreement instead: looked at once a batch and once a strip.
struct GeometryConsumer
{
    GeometryConsumer(lsGeometry &g, BuildCount &count)
        : count(count)
        , vertices(g.vertices)
        , stripFirst(g.stripFirst)
        , stripCount(g.stripCount)
    {
        vertices.clear();
        if (count.ready()) {
            size();
            return;
        }
        floats = vertices.capacity();
        const std::size_t strips = std::min(stripFirst.capacity(), stripCount.capacity());
        stripFirst.resize(strips);
        stripCount.resize(strips);
    }

    void take(const double *xyz, std::size_t n, std::span<const std::size_t>)
    {
        box.grow(xyz, n);
        if (!sized && (count.ready() || 3 * n > floats - vertices.size()))
            size();
        if (miscounted || 3 * n > floats - vertices.size()) {
            miscounted = true;
            return;
        }
        // Converts in place into the reserved memory, not zero-filling it first.
        vertices.insert(vertices.end(), xyz, xyz + 3 * n);
    }
    void endStrip(std::size_t vertex)
    {
        if (!sized && strip == stripFirst.size())
            size();
        if (miscounted || strip == stripFirst.size()) {
            miscounted = true;
            return;
        }
        const auto count = static_cast<std::int32_t>(vertex);
        stripFirst[strip] = first;
        stripCount[strip] = count - first;
        ++strip;
        first = count;
    }
    // Whether the walk gave exactly what was counted; false when the count was cancelled.
    bool matchesCount()
    {
        if (!sized)
            size();
        return !miscounted && strip == stripFirst.size() && vertices.size() == floats;
    }

    // Waits for the count and fits the storage to it.
    void size()
    {
        sized = true;
        const lsGeometryCount *const counted = count.get();
        if (!counted) {
            countCancelled = miscounted = true; // the walk stops at its next chunk
            return;
        }
        if (counted->vertices > INT32_MAX)
            throw Refused();
        floats = counted->vertices * 3;
        if (vertices.size() > floats || strip > counted->strips) {
            miscounted = true;
            return;
        }
        fitStorage(vertices, vertices.size(), floats);
        fitStorage(stripFirst, strip, counted->strips);
        fitStorage(stripCount, strip, counted->strips);
        stripFirst.resize(counted->strips);
        stripCount.resize(counted->strips);
    }

    BuildCount &count;
    std::vector<float> &vertices;
    std::vector<std::int32_t> &stripFirst;
    std::vector<std::int32_t> &stripCount;
    bool sized = false;
    std::size_t floats = 0; // the limit: the storage's until sized, then the count
    std::size_t strip = 0;  // strips ended so far
    std::int32_t first = 0; // of the current strip
    bool miscounted = false;
    bool countCancelled = false;
    Box box;
};

void measure(const lsRuleSet &rules, lsCommandSource &commands, double *box)
{
    MeasureConsumer consumer;
    walkInto(rules, commands, consumer);
    consumer.box.copyTo(box);
}

} // namespace

namespace lsDetail {

namespace {

// Segments start small, for the many figures that hardly nest, and double up to the
// largest size.
constexpr std::size_t kFirstSegmentStates = 64;
constexpr std::size_t kLargestSegmentStates = lsStateSegmentBytes / sizeof(lsTurtleState);

// States that go along into the next segment when a segment fills, so that a depth going
// up and down about a segment's end crosses it once per so many levels, not at every
// bracket (crossing costs a trip out of the walk's loop).
constexpr std::size_t kCarriedStates = 16;
static_assert(kCarriedStates <= kFirstSegmentStates);

std::size_t segmentStates(std::size_t segment)
{
    return segment >= 16 ? kLargestSegmentStates
                         : std::min(kFirstSegmentStates << segment, kLargestSegmentStates);
}

} // namespace

StateSegments::StateSegments(StateStack &stack)
{
    enter(0, false, stack);
}

void StateSegments::enter(std::size_t segment, bool atTop, StateStack &stack)
{
    if (segment == mSegments.size())
        mSegments.push_back(
                std::make_unique_for_overwrite<lsTurtleState[]>(segmentStates(segment)));
    mCurrent = segment;
    lsTurtleState *const base = mSegments[segment].get();
    lsTurtleState *const limit = base + segmentStates(segment);
    // A segment below the current one ends where its carried states begin.
    stack = { base, atTop ? limit - kCarriedStates : base, limit };
}

void StateSegments::up(StateStack &stack)
{
    const lsTurtleState *const carried = stack.limit - kCarriedStates;
    enter(mCurrent + 1, false, stack);
    stack.top = std::copy(carried, carried + kCarriedStates, stack.base);
}

bool StateSegments::down(StateStack &stack)
{
    if (mCurrent == 0)
        return false;
    enter(mCurrent - 1, true, stack);
    return true;
}

} // namespace lsDetail

void lsMeasureString(const lsRuleSet &rules, std::string_view commands, double *box)
{
    lsStringSource source(commands); // unwatched, so never cancelled
    measure(rules, source, box);
}

bool lsMeasureString(const lsRuleSet &rules, lsCommandSource &commands, double *box)
{
    measure(rules, commands, box);
    return !commands.cancelled();
}

bool lsBuildGeometry(const lsRuleSet &rules,
                     std::string_view commands,
                     lsGeometry &geometry,
                     const lsGeometryReduction &reduction)
{
    lsStringSource source(commands);
    return lsBuildGeometry(rules, source, geometry, reduction);
}

bool lsBuildGeometry(const lsRuleSet &rules,
                     lsCommandSource &commands,
                     lsGeometry &geometry,
                     const lsGeometryReduction &reduction)
{
    if ((reduction.pixelsPerUnit > 0.0 || reduction.framingPixels > 0.0)
        && reduction.tolerance > 0.0)
        return lsDetail::buildReducedGeometry(rules, commands, geometry, reduction);
    try {
        BuildCount count(commands);
        if (count.ready() && !count.get()) {
            geometry = lsGeometry();
            return false;
        }
        commands.rewind();
        GeometryConsumer consumer(geometry, count);
        walkInto(rules, commands, consumer);
        const bool matches = consumer.matchesCount();
        // The count may have seen the flag after the walk's last look at it.
        if (consumer.countCancelled)
            commands.lookForCancel();
        if (commands.cancelled() || !matches) {
            geometry = lsGeometry();
            return false;
        }
        consumer.box.copyTo(geometry.box);
    } catch (const std::bad_alloc &) {
        geometry = lsGeometry();
        return false;
    } catch (const Refused &) {
        geometry = lsGeometry();
        return false;
    }
    return true;
}

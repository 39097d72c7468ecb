#include "engine/interpreter.h"

#include "engine/pipedwalk.h"
#include "engine/reduction.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <span>

namespace {

using lsDetail::Box;
using lsDetail::walkInto;

struct MeasureConsumer
{
    void take(const double *xyz, std::size_t n, std::span<const std::size_t>) { box.grow(xyz, n); }
    void endStrip(std::size_t) { }

    Box box;
};

// Appends the vertices as floats to the geometry's vertex array, whose memory is reserved
// exactly beforehand (lsCountGeometry), and records the strips; the strip arrays are sized
// at the start. Should the walk ever give more than the count (a command one of them does
// not know, a source that replays differently), it writes nothing past the arrays and
// reports the disagreement instead: looked at once a batch and once a strip.
struct GeometryConsumer
{
    // floats: the counted vertices times three, reserved in g.vertices.
    GeometryConsumer(lsGeometry &g, std::size_t countedFloats)
        : vertices(g.vertices)
        , floats(countedFloats)
        , stripFirst(g.stripFirst.data())
        , stripCount(g.stripCount.data())
        , stripsEnd(stripFirst + g.stripFirst.size())
    { }

    void take(const double *xyz, std::size_t n, std::span<const std::size_t>)
    {
        box.grow(xyz, n);
        const std::size_t used = vertices.size();
        if (3 * n > floats - used) {
            miscounted = true;
            return;
        }
        vertices.resize(used + 3 * n);
        float *const out = vertices.data() + used;
        for (std::size_t i = 0; i < 3 * n; ++i)
            out[i] = static_cast<float>(xyz[i]);
    }
    void endStrip(std::size_t vertex)
    {
        if (stripFirst == stripsEnd) {
            miscounted = true;
            return;
        }
        const auto count = static_cast<std::int32_t>(vertex);
        *stripFirst++ = first;
        *stripCount++ = count - first;
        first = count;
    }
    // Whether the walk gave exactly what was counted.
    bool matchesCount() const
    {
        return !miscounted && stripFirst == stripsEnd && vertices.size() == floats;
    }

    std::vector<float> &vertices;
    const std::size_t floats;
    std::int32_t *stripFirst;
    std::int32_t *stripCount;
    std::int32_t *const stripsEnd;
    std::int32_t first = 0; // of the current strip
    bool miscounted = false;
    Box box;
};

void measure(const lsRuleSet &rules, lsCommandSource &commands, double *box)
{
    MeasureConsumer consumer;
    walkInto(rules, commands, consumer);
    consumer.box.copyTo(box);
}

// Empties v with room for n elements, keeping the storage of an earlier build when it
// is large enough and at most twice that: writing memory again is cheap, fresh memory
// costs a page fault per page, which is most of the time of a large build.
template<typename T>
void fitStorage(std::vector<T> &v, std::size_t n)
{
    if (v.capacity() < n || v.capacity() / 2 > n)
        v = {};
    v.clear();
    v.reserve(n);
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
        lsGeometryCount count;
        if (!lsCountGeometry(commands, count) || count.vertices > INT32_MAX) {
            geometry = lsGeometry();
            return false;
        }
        commands.rewind();
        fitStorage(geometry.vertices, count.vertices * 3);
        lsAdviseHugePages(geometry.vertices.data(), count.vertices * 3 * sizeof(float));
        fitStorage(geometry.stripFirst, count.strips);
        fitStorage(geometry.stripCount, count.strips);
        geometry.stripFirst.resize(count.strips);
        geometry.stripCount.resize(count.strips);
        GeometryConsumer consumer(geometry, count.vertices * 3);
        walkInto(rules, commands, consumer);
        if (commands.cancelled() || !consumer.matchesCount()) {
            geometry = lsGeometry();
            return false;
        }
        consumer.box.copyTo(geometry.box);
    } catch (const std::bad_alloc &) {
        geometry = lsGeometry();
        return false;
    }
    return true;
}

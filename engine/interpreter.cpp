#include "engine/interpreter.h"

#include "engine/vertexpipe.h"

#include <locale.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <string>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// White space as the C locale's isspace sees it.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

const char *skipDigits(const char *p, const char *end, bool (*digit)(char))
{
    while (p != end && digit(*p))
        ++p;
    return p;
}

// Mantissa digits with an optional point, then an exponent (e or p) with optional sign.
const char *numberBody(const char *p, const char *end, bool (*digit)(char), char exponent)
{
    p = skipDigits(p, end, digit);
    if (p != end && *p == '.')
        p = skipDigits(p + 1, end, digit);
    if (p != end && (*p | 0x20) == exponent) {
        ++p;
        if (p != end && (*p == '+' || *p == '-'))
            ++p;
        p = skipDigits(p, end, isDigit);
    }
    return p;
}

// The bounding box as six separate values, which the compiler keeps in registers (an
// array it would shuffle in and out of vector registers on every character).
struct Box
{
    double minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;

    void grow(double x, double y, double z)
    {
        lsWiden(x, minX, maxX);
        lsWiden(y, minY, maxY);
        lsWiden(z, minZ, maxZ);
    }
    // The same for n vertices of three doubles each, worked on in locals (through
    // members, the compiler would store the box back after every vertex).
    void grow(const double *xyz, std::size_t n)
    {
        Box b = *this;
        for (std::size_t i = 0; i < n; ++i, xyz += 3)
            b.grow(xyz[0], xyz[1], xyz[2]);
        *this = b;
    }
    void copyTo(double *box) const
    {
        box[lsMinX] = minX;
        box[lsMaxX] = maxX;
        box[lsMinY] = minY;
        box[lsMaxY] = maxY;
        box[lsMinZ] = minZ;
        box[lsMaxZ] = maxZ;
    }
};

// The walk's side of a vertex pipe: the hot loop only stores three doubles per vertex into
// the batch being filled, and keeps its registers for the turtle. A consumer
// has take(const double *xyz, std::size_t n, std::span<const std::size_t> ends) for each
// batch, ends being the numbers of the vertices at which strips end (lsVertexPipe).
struct PipeSink
{
    explicit PipeSink(lsVertexPipe &p)
        : pipe(&p)
    {
        startBatch();
    }

    bool full() const { return next == limit; }
    // Sends the batch (at the end of the walk, with room to spare).
    void grow()
    {
        const auto n = static_cast<std::size_t>(next - first) / 3;
        pipe->send(n);
        sent += n;
        startBatch();
    }
    void vertex(double x, double y, double z)
    {
        next[0] = x;
        next[1] = y;
        next[2] = z;
        next += 3;
    }
    void restart() { pipe->endStrip(sent + static_cast<std::size_t>(next - first) / 3); }

    void startBatch()
    {
        first = next = pipe->batch();
        limit = first + 3 * lsVertexPipe::batchVertices;
    }

    lsVertexPipe *pipe;
    double *first = nullptr;
    double *next = nullptr;
    double *limit = nullptr;
    std::size_t sent = 0; // vertices sent in earlier batches
};

// Walks the commands with the consumer taking their vertices on a thread of its own, and
// ends the last strip. Throws what the consumer threw.
template<typename Consumer>
void walkInto(const lsRuleSet &rules,
              lsCommandSource &commands,
              Consumer &consumer,
              std::size_t stackDepth = 64)
{
    lsVertexPipe pipe(
            [&consumer](const double *xyz, std::size_t n, std::span<const std::size_t> ends) {
                consumer.take(xyz, n, ends);
            });
    PipeSink sink(pipe);
    lsWalk(rules.angle, rules.step, commands, sink, stackDepth);
    sink.restart();
    sink.grow();
    pipe.finish();
}

struct MeasureConsumer
{
    void take(const double *xyz, std::size_t n, std::span<const std::size_t>) { box.grow(xyz, n); }

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

    void take(const double *xyz, std::size_t n, std::span<const std::size_t> ends)
    {
        for (const std::size_t end : ends)
            endStrip(end);
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

// Keeps the vertices a picture can tell apart (lsGeometryReduction), in arrays that grow
// as it needs. A strip's end arrives as a vertex number with the batch holding the
// vertices before it; take() ends the strip at its place.
//
// Merged runs leave segments of about the tolerance, and smoothed lines that short never
// reach their full colour (each pixel only gets part of the coverage of several). So where
// kept vertices that each end a merged run lie on one straight line, to within a quarter
// of the tolerance, they join into one segment. Figures whose segments all span a pixel
// merge nothing, and so join nothing either.
struct ReducingConsumer
{
    using Point = std::array<double, 3>;
    static constexpr int maxJoined = 32; // vertices one segment may replace

    ReducingConsumer(lsGeometry &g, const lsGeometryReduction &r)
        : geometry(g)
        , reduction(r)
    {
        if (reduction.pixelsPerUnit > 0.0)
            setScale(reduction.pixelsPerUnit);
    }

    void setScale(double pixelsPerUnit)
    {
        const double units = reduction.tolerance / pixelsPerUnit;
        merge2 = units * units;
    }

    void take(const double *xyz, std::size_t n, std::span<const std::size_t> ends)
    {
        box.grow(xyz, n);
        if (reduction.pixelsPerUnit <= 0.0) {
            const double half = std::max(box.maxX - box.minX, box.maxY - box.minY) * 0.5;
            if (half > 0.0)
                setScale(reduction.framingPixels / half);
        }
        std::size_t i = 0;
        for (const std::size_t end : ends) {
            if (end < taken + i || end - taken > n) {
                misplaced = true; // a strip end outside its batch: read nothing past it
                break;
            }
            i = mergeRun(xyz, i, end - taken);
            endStrip();
            hasPrevious = false;
        }
        mergeRun(xyz, i, n);
        taken += n;
    }

    static double distance2(const Point &a, const Point &b)
    {
        const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
        return dx * dx + dy * dy + dz * dz;
    }

    // Vertices [i, end) of a batch, all in one strip; returns end. Most vertices of a
    // dense figure merge, so merging only compares and remembers where.
    std::size_t mergeRun(const double *xyz, std::size_t i, const std::size_t end)
    {
        const double *merged = nullptr; // the last vertex merged since `last`, in this run
        for (; i < end; ++i) {
            const double *v = xyz + 3 * i;
            if (reduction.region) {
                // A strip starts at the first segment that shows and ends before one
                // that does not.
                const bool started = hasPrevious;
                const Point before = previous;
                previous = { v[0], v[1], v[2] };
                hasPrevious = true;
                if (!started)
                    continue;
                if (!meetsRegion(before, v)) {
                    if (merged) {
                        pending = { merged[0], merged[1], merged[2] };
                        hasPending = true;
                        merged = nullptr;
                    }
                    endStrip();
                    continue;
                }
                if (stripKept == 0)
                    keep(before, false);
            }
            if (stripKept > 0) {
                // Without a region the whole run that merges is passed over at once; with
                // one, each vertex is looked at against it first.
                const std::size_t kept = mergeEnd(xyz, i, reduction.region ? i + 1 : end);
                if (kept != i) {
                    merged = xyz + 3 * (kept - 1);
                    i = kept - 1;
                    continue;
                }
            }
            keep({ v[0], v[1], v[2] }, hasPending || merged);
            merged = nullptr;
        }
        if (merged) {
            pending = { merged[0], merged[1], merged[2] };
            hasPending = true;
        }
        return i;
    }

    // The first of vertices [i, end) that does not merge into the last one kept: the
    // scan that most vertices of a dense figure end in, kept tight.
    std::size_t mergeEnd(const double *xyz, std::size_t i, const std::size_t end) const
    {
        const double x = last[0], y = last[1], z = last[2], limit = merge2;
        for (; i < end; ++i) {
            const double *v = xyz + 3 * i;
            const double dx = v[0] - x, dy = v[1] - y, dz = v[2] - z;
            if (!(dx * dx + dy * dy + dz * dz < limit))
                break;
        }
        return i;
    }

    // Whether the segment from a to b may reach into the region: its bounding box meets it.
    bool meetsRegion(const Point &a, const double *b) const
    {
        const std::array<double, 4> &r = *reduction.region;
        return std::max(a[0], b[0]) >= r[0] && std::min(a[0], b[0]) <= r[1]
               && std::max(a[1], b[1]) >= r[2] && std::min(a[1], b[1]) <= r[3];
    }

    // Whether q lies on the segment from `from` to p, to within a quarter of the tolerance.
    bool onChord(const Point &q, const Point &p) const
    {
        Point d, w;
        double dd = 0.0, wd = 0.0;
        for (int i = 0; i < 3; ++i) {
            d[i] = p[i] - from[i];
            w[i] = q[i] - from[i];
            dd += d[i] * d[i];
            wd += w[i] * d[i];
        }
        if (!(wd >= 0.0 && wd <= dd && dd > 0.0))
            return false;
        const double t = wd / dd;
        const Point foot{ from[0] + t * d[0], from[1] + t * d[1], from[2] + t * d[2] };
        return distance2(q, foot) * 16.0 <= merge2;
    }

    // p ends a merged run when `afterMerge`.
    void keep(const Point &p, bool afterMerge)
    {
        hasPending = false;
        if (stripKept >= 2 && lastAfterMerge && afterMerge && joinedCount < maxJoined
            && onChord(last, p)
            && std::all_of(joined.begin(), joined.begin() + joinedCount,
                           [&](const Point &q) { return onChord(q, p); })) {
            joined[joinedCount++] = last;
            float *const end = geometry.vertices.data() + geometry.vertices.size();
            for (int i = 0; i < 3; ++i)
                end[i - 3] = static_cast<float>(p[i]);
            last = p;
            return;
        }
        from = last;
        joinedCount = 0;
        last = p;
        lastAfterMerge = afterMerge;
        ++stripKept;
        for (int i = 0; i < 3; ++i)
            geometry.vertices.push_back(static_cast<float>(p[i]));
    }
    void endStrip()
    {
        if (stripKept == 1) {
            geometry.vertices.resize(geometry.vertices.size() - 3); // never left its start
        } else if (stripKept > 1) {
            if (hasPending)
                keep(pending, true);
            const auto count = static_cast<std::int64_t>(geometry.vertexCount());
            if (count > INT32_MAX)
                throw std::bad_alloc(); // more than a GL index can count
            geometry.stripFirst.push_back(static_cast<std::int32_t>(count - stripKept));
            geometry.stripCount.push_back(static_cast<std::int32_t>(stripKept));
        }
        stripKept = 0;
        hasPending = false;
        lastAfterMerge = false;
    }

    lsGeometry &geometry;
    const lsGeometryReduction reduction;
    double merge2 = 0.0; // the squared distance below which vertices merge
    std::size_t taken = 0;
    Point last{};     // the vertex kept last
    Point from{};     // the one kept before it, where its segment starts
    Point pending{};  // the vertex merged last, when one came after `last`
    Point previous{}; // with a region: the vertex before, kept or not
    bool hasPrevious = false;
    bool hasPending = false;
    bool lastAfterMerge = false;
    bool misplaced = false;              // a strip ended where its batch had no vertex
    std::array<Point, maxJoined> joined; // vertices the last segment replaced
    int joinedCount = 0;
    std::int64_t stripKept = 0; // vertices of the current strip kept so far
    Box box;
};

// Reduces a built geometry again at a fixed scale, keeping its box.
void reduceAgain(lsGeometry &geometry, const lsGeometryReduction &reduction)
{
    lsGeometry kept = std::move(geometry);
    geometry = lsGeometry();
    ReducingConsumer consumer(geometry, reduction);
    std::array<double, 3 * 512> batch;
    std::size_t fed = 0;
    for (std::size_t s = 0; s < kept.stripFirst.size(); ++s) {
        // Each strip after the first starts by ending the one before.
        const std::size_t stripStart = fed;
        std::span<const std::size_t> ends(&stripStart, s > 0 ? 1 : 0);
        const float *v = kept.vertices.data() + 3 * std::size_t(kept.stripFirst[s]);
        for (std::size_t left = std::size_t(kept.stripCount[s]); left > 0;) {
            const std::size_t n = std::min(left, batch.size() / 3);
            std::copy(v, v + 3 * n, batch.begin());
            consumer.take(batch.data(), n, ends);
            ends = {};
            v += 3 * n;
            left -= n;
            fed += n;
        }
    }
    consumer.take(batch.data(), 0, std::span(&fed, 1));
    std::copy(kept.box, kept.box + 6, geometry.box);
}

// The reduced geometry: no count beforehand, since the picture, not the string, sets
// its size. Storage of an earlier build is written again.
bool buildReducedGeometry(const lsRuleSet &rules,
                          lsCommandSource &commands,
                          lsGeometry &geometry,
                          const lsGeometryReduction &reduction)
{
    try {
        geometry.vertices.clear();
        geometry.stripFirst.clear();
        geometry.stripCount.clear();
        ReducingConsumer consumer(geometry, reduction);
        walkInto(rules, commands, consumer);
        if (commands.cancelled() || consumer.misplaced) {
            geometry = lsGeometry();
            return false;
        }
        consumer.box.copyTo(geometry.box);
        const double half = std::max(geometry.box[lsMaxX] - geometry.box[lsMinX],
                                     geometry.box[lsMaxY] - geometry.box[lsMinY])
                            * 0.5;
        if (reduction.pixelsPerUnit <= 0.0 && half > 0.0) {
            // The scale followed the box: what was kept while the box was still small is
            // finer than the whole picture needs.
            lsGeometryReduction final = reduction;
            final.pixelsPerUnit = reduction.framingPixels / half;
            reduceAgain(geometry, final);
        }
    } catch (const std::bad_alloc &) {
        geometry = lsGeometry();
        return false;
    }
    return true;
}

// Per character: 1 for a move, and the bracket depth change.
struct CountTable
{
    std::array<std::uint8_t, 256> move{};
    std::array<std::int8_t, 256> depth{};
};

constexpr CountTable makeCountTable()
{
    CountTable t;
    t.move['F'] = t.move['f'] = t.move['B'] = t.move['b'] = 1;
    t.depth['['] = 1;
    t.depth[']'] = -1;
    return t;
}

constexpr CountTable countTable = makeCountTable();

// The bracket depth along a string. With d the depth counted without clamping and low its
// lowest value so far (<= 0), a ']' pops unless d == low, the ']'s that do nothing are
// -low in all, and the stack holds d - low states.
struct BracketDepth
{
    std::int64_t d = 0, low = 0, deepest = 0;

    void scan(const char *p, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            d += countTable.depth[static_cast<unsigned char>(p[i])];
            low = d < low ? d : low;
            deepest = d - low > deepest ? d - low : deepest;
        }
    }
    // Passes over a stretch with this many '[' and ']' when it cannot reach a new low or
    // a new deepest, whatever their order; returns false (and changes nothing) otherwise.
    bool pass(std::int64_t opens, std::int64_t closes)
    {
        if (d - closes < low || d - low + opens > deepest)
            return false;
        d += opens - closes;
        return true;
    }
};

// 0x80 in each byte of word that equals c, 0 in the others.
constexpr std::uint64_t bytesEqual(std::uint64_t word, unsigned char c)
{
    constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7f;
    const std::uint64_t x = word ^ (0x0101010101010101 * c);
    return ~(((x & low7) + low7) | x | low7);
}

// The number of bytes set in a bytesEqual mask.
constexpr std::int64_t countBytes(std::uint64_t mask)
{
    return static_cast<std::int64_t>(((mask >> 7) * 0x0101010101010101) >> 56);
}

// Counts a string's moves, pops and depth chunk by chunk. Moves and ']'s are counted in
// blocks whose counts vectorise. The depth is followed through a block or a group in it
// only where it could reach a new low or a new deepest there; elsewhere the block's net
// change is enough.
struct GeometryCounter
{
    void add(std::string_view commands)
    {
        constexpr std::size_t blockSize = 64;
        const char *p = commands.data();
        const char *const blocksEnd = p + commands.size() / blockSize * blockSize;
        for (; p != blocksEnd; p += blockSize) {
            unsigned blockMoves = 0, blockOpens = 0, blockCloses = 0;
            for (std::size_t i = 0; i < blockSize; ++i) {
                const auto c = static_cast<unsigned char>(p[i]);
                const unsigned lower = c | 0x20u; // 'F' and 'B' to lower case
                blockMoves += (lower == 'f') | (lower == 'b');
                blockOpens += c == '[';
                blockCloses += c == ']';
            }
            moves += blockMoves;
            closes += blockCloses;
            if (!depth.pass(blockOpens, blockCloses)) {
                for (const char *group = p; group != p + blockSize; group += 8) {
                    std::uint64_t word;
                    std::memcpy(&word, group, 8);
                    if (!depth.pass(countBytes(bytesEqual(word, '[')),
                                    countBytes(bytesEqual(word, ']'))))
                        depth.scan(group, 8);
                }
            }
        }
        for (; p != commands.data() + commands.size(); ++p) {
            const auto c = static_cast<unsigned char>(*p);
            moves += countTable.move[c];
            closes += c == ']';
            depth.scan(p, 1);
        }
    }

    lsGeometryCount count() const
    {
        const std::uint64_t pops = closes - static_cast<std::uint64_t>(-depth.low);
        return { 1 + moves + pops, 1 + pops, static_cast<std::uint64_t>(depth.deepest) };
    }

    std::uint64_t moves = 0, closes = 0;
    BracketDepth depth;
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

// It may reach further than strtod will read, never less, so strtod on a copy of [text,
// lsFactorEnd) reads what it would read from the whole string; and it stops at a character
// (or after eight letters, or at a ')'), never because of what follows that.
const char *lsFactorEnd(const char *p, const char *end)
{
    while (p != end && isBlank(*p))
        ++p;
    if (p != end && (*p == '+' || *p == '-'))
        ++p;
    if (p != end && lsIsLetter(static_cast<unsigned char>(*p))) {
        // "inf", "infinity", "nan", "nan(chars)"
        for (int n = 0; n < 8 && p != end && lsIsLetter(static_cast<unsigned char>(*p)); ++n)
            ++p;
        if (p != end && *p == '(') {
            ++p;
            while (p != end
                   && (isDigit(*p) || lsIsLetter(static_cast<unsigned char>(*p)) || *p == '_'))
                ++p;
            if (p != end && *p == ')')
                ++p;
        }
        return p;
    }
    if (end - p >= 2 && p[0] == '0' && (p[1] | 0x20) == 'x')
        return numberBody(p + 2, end, isHexDigit, 'p');
    return numberBody(p, end, isDigit, 'e');
}

double lsReadFactor(const char *text, const char *end)
{
    // strtod needs a terminated string and follows the process locale: parse a terminated
    // copy of the number with the C locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const std::size_t length = static_cast<std::size_t>(lsFactorEnd(text, end) - text);
    char small[128];
    if (length < sizeof small) {
        std::memcpy(small, text, length);
        small[length] = '\0';
        return strtod_l(small, nullptr, cLocale);
    }
    const std::string number(text, length);
    return strtod_l(number.c_str(), nullptr, cLocale);
}

lsGeometryCount lsCountGeometry(std::string_view commands)
{
    GeometryCounter counter;
    counter.add(commands);
    return counter.count();
}

bool lsCountGeometry(lsCommandSource &commands, lsGeometryCount &count)
{
    GeometryCounter counter;
    for (std::string_view chunk; !(chunk = commands.next()).empty();)
        counter.add(chunk);
    count = counter.count();
    return !commands.cancelled();
}

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
        return buildReducedGeometry(rules, commands, geometry, reduction);
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
        walkInto(rules, commands, consumer, std::size_t(count.depth));
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

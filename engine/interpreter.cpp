#include "engine/interpreter.h"

#include <GL/gl.h>
#include <locale.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
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

// The end of the longest text strtod could read from p: it may reach further than strtod
// will read, never less, so strtod on a copy of [p, end of number) reads what it would
// read from the whole string.
const char *numberEnd(const char *p, const char *end)
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

struct MeasureSink
{
    Box box;
    void vertex(double x, double y, double z) { box.grow(x, y, z); }
    void restart() { }
};

// Writes the vertices into their array a slice at a time: the array's memory is reserved
// exactly beforehand (lsCountGeometry), and each slice is sized (zero-filled) just before it
// is written, while it is still in the cache. The strip arrays are sized at the start.
struct GeometrySink
{
    // Floats per slice: 4096 vertices, 48 KiB.
    static constexpr std::size_t slice = 3 * 4096;

    // The geometry's arrays are reserved (vertices) and sized (strips) already.
    explicit GeometrySink(lsGeometry &g)
        : vertices(&g.vertices)
        , next(g.vertices.data())
        , limit(next)
        , stripFirst(g.stripFirst.data())
        , stripCount(g.stripCount.data())
    {
        grow(); // room for the start vertex
    }

    bool full() const { return next == limit; }
    void grow()
    {
        const std::size_t used = static_cast<std::size_t>(next - vertices->data());
        vertices->resize(std::min(used + slice, vertices->capacity()));
        next = vertices->data() + used;
        limit = vertices->data() + vertices->size();
    }
    void vertex(double x, double y, double z)
    {
        next[0] = static_cast<float>(x);
        next[1] = static_cast<float>(y);
        next[2] = static_cast<float>(z);
        next += 3;
        ++count;
        box.grow(x, y, z);
    }
    void restart()
    {
        *stripFirst++ = first;
        *stripCount++ = count - first;
        first = count;
    }

    std::vector<float> *vertices;
    float *next;
    float *limit;
    std::int32_t *stripFirst;
    std::int32_t *stripCount;
    std::int32_t count = 0; // vertices so far
    std::int32_t first = 0; // of the current strip
    Box box;
};

struct GLSink
{
    void vertex(double x, double y, double z) { lsVertex(x, y, z, 1, nullptr); }
    void restart()
    {
        glEnd();
        glBegin(GL_LINE_STRIP);
    }
};

// Per character: 1 for a move, and the bracket depth change.
struct CountTable
{
    std::uint8_t move[256] = {};
    std::int8_t depth[256] = {};
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

} // namespace

double lsReadFactor(const char *text, const char *end)
{
    // strtod needs a terminated string and follows the process locale: parse a terminated
    // copy of the number with the C locale.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const std::size_t length = static_cast<std::size_t>(numberEnd(text, end) - text);
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
    // With d the depth counted without clamping and low its lowest value so far (<= 0), a
    // ']' pops unless d == low, the ']'s that do nothing are -low in all, and the stack
    // holds d - low states. The string goes in blocks whose counts vectorise; a block is
    // scanned character by character only where it could reach a new low or a new deepest.
    constexpr std::size_t blockSize = 64;
    std::uint64_t moves = 0, closes = 0;
    std::int64_t d = 0, low = 0, deepest = 0;
    const auto scan = [&](const char *p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(p[i]);
            moves += countTable.move[c];
            const int step = countTable.depth[c];
            closes += step < 0;
            d += step;
            low = d < low ? d : low;
            deepest = d - low > deepest ? d - low : deepest;
        }
    };
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
        if (d - std::int64_t(blockCloses) < low || d - low + std::int64_t(blockOpens) > deepest) {
            scan(p, blockSize);
        } else {
            moves += blockMoves;
            closes += blockCloses;
            d += std::int64_t(blockOpens) - std::int64_t(blockCloses);
        }
    }
    scan(p, static_cast<std::size_t>(commands.data() + commands.size() - p));
    const std::uint64_t pops = closes - static_cast<std::uint64_t>(-low);
    return { 1 + moves + pops, 1 + pops, static_cast<std::uint64_t>(deepest) };
}

void lsMeasureString(const lsRuleSet &rules, std::string_view commands, double *box)
{
    MeasureSink sink;
    lsWalkString(rules.angle, rules.step, commands, sink);
    sink.box.copyTo(box);
}

bool lsBuildGeometry(const lsRuleSet &rules, std::string_view commands, lsGeometry &geometry)
{
    geometry = lsGeometry();
    const lsGeometryCount count = lsCountGeometry(commands);
    if (count.vertices > INT32_MAX)
        return false;
    try {
        geometry.vertices.reserve(count.vertices * 3);
        lsAdviseHugePages(geometry.vertices.data(), count.vertices * 3 * sizeof(float));
        geometry.stripFirst.resize(count.strips);
        geometry.stripCount.resize(count.strips);
        GeometrySink sink(geometry);
        lsWalkString(rules.angle, rules.step, commands, sink);
        sink.restart(); // ends the last strip
        sink.box.copyTo(geometry.box);
    } catch (const std::bad_alloc &) {
        geometry = lsGeometry();
        return false;
    }
    return true;
}

int lsRenderString(const lsRuleSet &rules, const char *string, int draw, double *box)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_BLEND);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(2.0f);
    const std::string_view commands(string);
    if (draw) {
        glBegin(GL_LINE_STRIP);
        GLSink sink;
        lsWalkString(rules.angle, rules.step, commands, sink);
        glEnd();
    } else {
        lsMeasureString(rules, commands, box);
    }
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    return 1;
}

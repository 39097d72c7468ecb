#include "engine/geometrycount.h"

#include "engine/commandtable.h"

#include <array>
#include <cstddef>
#include <cstring>

namespace {

// Per character: 1 for a move, and the bracket depth change, as the walk reads them.
struct CountTable
{
    std::array<std::uint8_t, 256> move{};
    std::array<std::int8_t, 256> depth{};
};

constexpr CountTable makeCountTable()
{
    using lsDetail::Command;
    CountTable t;
    for (std::size_t c = 0; c < 256; ++c) {
        const Command command = lsDetail::commands.command[c];
        t.move[c] = command == Command::Move;
        t.depth[c] = command == Command::Push ? 1 : command == Command::Pop ? -1 : 0;
    }
    return t;
}

constexpr CountTable countTable = makeCountTable();

// The block count below tests for moves and brackets by value, which vectorises; the
// table it must agree with is the walk's.
constexpr bool blockTestsAgree()
{
    for (unsigned c = 0; c < 256; ++c) {
        const unsigned lower = c | 0x20u;
        if (countTable.move[c] != ((lower == 'f') | (lower == 'b'))
            || countTable.depth[c]
                       != (c == '['   ? 1
                           : c == ']' ? -1
                                      : 0))
            return false;
    }
    return true;
}
static_assert(blockTestsAgree());

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

} // namespace

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

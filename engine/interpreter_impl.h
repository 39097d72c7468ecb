#pragma once

// Template part of engine/interpreter.h; include that header, not this one.

#include "engine/commandtable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <concepts>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lsDetail {

// A sink may write into storage that it extends in steps: full() tells that it has no room
// for the next vertex, and grow() makes room. The walk then leaves its hot loop to call
// grow(), so that the loop itself never calls out of line.
template<typename Sink>
concept GrowingSink = requires(Sink &sink)
{
    {
        sink.full()
        } -> std::convertible_to<bool>;
    sink.grow();
};

// The turtle's saved states in the segment being used: a '[' pushes while there is room,
// a ']' pops while there is a state; passing either end happens outside the hot loop.
struct StateStack
{
    lsTurtleState *base;
    lsTurtleState *top;
    lsTurtleState *limit;
};

// Every segment of saved states a walk made, kept where it was made: a deep figure costs
// what its states take and at most one segment more, and only the few states carried into
// a new segment are ever copied (a stack that doubled would hold the old states and twice
// as many new ones at once).
class StateSegments
{
public:
    // Points the stack at the first segment. Throws std::bad_alloc.
    explicit StateSegments(StateStack &stack);
    // The stack is full: it continues in the next segment, made the first time it is
    // needed, which starts with a copy of the full one's top states. Throws
    // std::bad_alloc.
    void up(StateStack &stack);
    // The stack's segment is empty: it continues in the one below, below the states it
    // copied up; false at the bottom of the first one (a surplus ']').
    bool down(StateStack &stack);

private:
    void enter(std::size_t segment, bool atTop, StateStack &stack);

    std::vector<std::unique_ptr<lsTurtleState[]>> mSegments;
    std::size_t mCurrent = 0;
};

// Walks from p up to the end, or up to a command that needs work out of line (a '[' with
// the stack full, a ']' with its segment empty, or a vertex that a GrowingSink has no room
// for), which it returns
// unprocessed. lsWalkString reads every '@' itself and never hands one over. The state
// lives in locals here, in a function of its own, so that the compiler keeps it in
// registers: nothing in the loop calls out of line (except what a sink itself calls).
//
// The angle only ever changes sign ('!'), so one cosine serves every turn, and the turtle
// carries the sine of its angle: cos is even and sin odd, exactly, so turning by -angle is
// turning with the sine negated, and a backward move is a move by the negated step. Each
// turn and move thus computes the very doubles of lsTurnAboutZ/lsTurnAboutX and of the
// position update.
template<typename Sink>
[[gnu::noinline]] const char *walkInline(const char *p,
                                         const char *const end,
                                         const double c,
                                         lsTurtleState &state,
                                         StateStack &stack,
                                         Sink &outerSink)
{
    // A sink that is plain data (a box, a few pointers) is worked on as a local copy, which
    // the compiler can keep in registers as well.
    constexpr bool copySink = std::is_trivially_copyable_v<Sink> && std::is_copy_assignable_v<Sink>;
    std::conditional_t<copySink, Sink, Sink &> sink = outerSink;
    const auto &table = commands;
    double hx = state.heading.x, hy = state.heading.y, hz = state.heading.z;
    double x = state.x, y = state.y, z = state.z;
    double step = state.step;
    double sn = state.sine;
    lsTurtleState *top = stack.top;
    for (; p != end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        switch (table.command[b]) {
        case Command::Ignore:
            continue;
        case Command::Move: {
            if constexpr (GrowingSink<Sink>) {
                if (sink.full())
                    break;
            }
            const double d = step * table.sign[b];
            x += d * hx;
            y += d * hy;
            z += d * hz;
            sink.vertex(x, y, z);
            continue;
        }
        case Command::TurnZ: {
            const double t = sn * table.sign[b];
            const double nx = c * hx + t * hy;
            const double ny = -t * hx + c * hy;
            hx = nx;
            hy = ny;
            continue;
        }
        case Command::TurnX: {
            const double t = sn * table.sign[b];
            const double ny = c * hy - t * hz;
            const double nz = t * hy + c * hz;
            hy = ny;
            hz = nz;
            continue;
        }
        case Command::Negate:
            sn = -sn;
            continue;
        case Command::Push:
            if (top == stack.limit)
                break;
            *top++ = { { hx, hy, hz }, x, y, z, step, sn };
            continue;
        case Command::Pop:
            if (top == stack.base)
                break; // another segment, or a surplus ']'
            if constexpr (GrowingSink<Sink>) {
                if (sink.full())
                    break;
            }
            --top;
            hx = top->heading.x;
            hy = top->heading.y;
            hz = top->heading.z;
            x = top->x;
            y = top->y;
            z = top->z;
            step = top->step;
            sn = top->sine;
            sink.restart();
            sink.vertex(x, y, z);
            continue;
        case Command::Scale:
            continue; // never handed over
        }
        break;
    }
    state = { { hx, hy, hz }, x, y, z, step, sn };
    stack.top = top;
    if constexpr (copySink)
        outerSink = sink;
    return p;
}

// Copies the commands of [in, end) to out, leaving out the characters that do nothing;
// returns how many it copied. Branch-free: every character is stored, and only a command
// advances the output.
inline std::size_t copyCommands(const char *in, const char *const end, char *out)
{
    std::size_t n = 0;
    for (; in != end; ++in) {
        out[n] = *in;
        n += commands.command[static_cast<unsigned char>(*in)] != Command::Ignore;
    }
    return n;
}

// Points [in, end) at the next chunk of commands; false at their end.
inline bool nextChunk(lsCommandSource &commands, const char *&in, const char *&end)
{
    const std::string_view chunk = commands.next();
    in = chunk.data();
    end = in + chunk.size();
    return in != end;
}

} // namespace lsDetail

template<typename Sink>
void lsWalk(double angle, double step, lsCommandSource &commands, Sink &sink)
{
    const double c = std::cos(angle);
    lsTurtleState turtle{ { 0.0, 1.0, 0.0 }, 0.0, 0.0, 0.0, step, std::sin(angle) };
    lsDetail::StateStack stack;
    lsDetail::StateSegments segments(stack);

    sink.vertex(0.0, 0.0, 0.0);
    // The commands are walked a chunk at a time, from a copy without the characters that do
    // nothing (letters other than moves, digits...) where those are many: scattered between
    // the commands, they make the walk's dispatch much harder to predict. Copying costs about
    // what walking a fifth of the chunk does, so a chunk is copied while a fifth or more of
    // the characters of the last copied one did nothing; otherwise one chunk in 16 is
    // copied to look again. An '@' ends a chunk, since its number is read from the text.
    std::array<char, 4096> chunk;
    unsigned uncopied = 0; // chunks walked in place since the last copy
    const char *in = nullptr;
    const char *end = nullptr;
    while (in != end || lsDetail::nextChunk(commands, in, end)) {
        if (*in == '@') {
            lsFactorReader number;
            // A number that runs to the end of the chunk may go on in the next ones.
            if (number.feed(in + 1, end))
                commands.readAhead(number);
            turtle.step *= number.value();
            ++in;
            continue;
        }
        const char *stop = in + std::min<std::size_t>(chunk.size(), end - in);
        if (const void *at = std::memchr(in, '@', stop - in))
            stop = static_cast<const char *>(at);
        const char *p = in;
        const char *chunkEnd = stop;
        if (uncopied == 0 || uncopied == 16) {
            const auto length = static_cast<std::size_t>(stop - in);
            const std::size_t n = lsDetail::copyCommands(in, stop, chunk.data());
            p = chunk.data();
            chunkEnd = p + n;
            uncopied = (length - n) * 5 >= length ? 0 : 1;
        } else {
            ++uncopied;
        }
        in = stop;
        while ((p = lsDetail::walkInline(p, chunkEnd, c, turtle, stack, sink)) != chunkEnd) {
            // The command is still to do, unless it is a surplus ']'.
            if (*p == '[') {
                segments.up(stack);
            } else if (*p == ']' && stack.top == stack.base) {
                if (!segments.down(stack))
                    ++p;
            } else if constexpr (lsDetail::GrowingSink<Sink>) {
                sink.grow();
            }
        }
    }
}

template<typename Sink>
void lsWalkString(double angle, double step, std::string_view commands, Sink &sink)
{
    lsStringSource source(commands);
    lsWalk(angle, step, source, sink);
}

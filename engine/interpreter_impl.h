#pragma once

// Template part of engine/interpreter.h; include that header, not this one.

#include <array>
#include <cmath>
#include <concepts>
#include <string_view>
#include <type_traits>
#include <vector>

namespace lsDetail {

// What a character does. Commands that differ only in a sign share one kind, so that the
// loop has few branches to predict; the sign comes from a table.
enum class Command : unsigned char {
    Ignore,
    Move,
    TurnZ,
    TurnX,
    Negate,
    Scale,
    Push,
    Pop
};

struct CommandTable
{
    std::array<Command, 256> command{};
    std::array<double, 256> sign{};
};

constexpr CommandTable makeCommandTable()
{
    CommandTable t;
    t.sign.fill(1.0);
    t.command['F'] = t.command['f'] = t.command['B'] = t.command['b'] = Command::Move;
    t.sign['B'] = t.sign['b'] = -1.0;
    t.command['+'] = t.command['-'] = Command::TurnZ;
    t.sign['-'] = -1.0;
    t.command['>'] = t.command['<'] = Command::TurnX;
    t.sign['<'] = -1.0;
    t.command['!'] = Command::Negate;
    t.command['@'] = Command::Scale;
    t.command['['] = Command::Push;
    t.command[']'] = Command::Pop;
    return t;
}

inline constexpr CommandTable commands = makeCommandTable();

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

// The turtle's saved states: a '[' pushes while there is room; only growing the storage
// happens outside the hot loop.
struct StateStack
{
    lsTurtleState *base;
    lsTurtleState *top;
    lsTurtleState *limit;
};

// Walks from p up to the end, or up to a command that needs work out of line (an '@', a
// '[' with the stack full, or a vertex that a GrowingSink has no room for), which it
// returns unprocessed. The state lives in locals here, so that the
// compiler keeps it in registers: nothing in the loop calls out of line (except what a
// sink itself calls).
//
// The angle only ever changes sign ('!'), so one cosine and one sine serve every turn: cos
// is even and sin odd, exactly, so turning by -angle is turning with the sine negated, and
// a backward move is a move by the negated step. Each turn and move thus computes the very
// doubles of lsTurnAboutZ/lsTurnAboutX and of the position update.
template<typename Sink>
inline const char *walkInline(const char *p,
                              const char *const end,
                              const double c,
                              const double s,
                              const double angle0,
                              lsTurtleState &state,
                              StateStack &stack,
                              Sink &outerSink)
{
    // A sink that is plain data (a box, a few pointers) is worked on as a local copy, which
    // the compiler can keep in registers as well.
    constexpr bool copySink = std::is_trivially_copyable_v<Sink> && std::is_copy_assignable_v<Sink>;
    std::conditional_t<copySink, Sink, Sink &> sink = outerSink;
    const auto &table = commands;
    const bool signbit0 = std::signbit(angle0);
    double hx = state.heading.x, hy = state.heading.y, hz = state.heading.z;
    double x = state.x, y = state.y, z = state.z;
    double step = state.step;
    // The angle is +-angle0: a flag (an integer register) says which, for the stack.
    bool negated = std::signbit(state.angle) != signbit0;
    double sn = negated ? -s : s; // sine of the current angle
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
            negated = !negated;
            sn = -sn;
            continue;
        case Command::Push:
            if (top == stack.limit)
                break;
            *top++ = { { hx, hy, hz }, x, y, z, step, negated ? -angle0 : angle0 };
            continue;
        case Command::Pop:
            if (top == stack.base)
                continue; // a surplus ']'
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
            negated = std::signbit(top->angle) != signbit0;
            sn = negated ? -s : s;
            sink.restart();
            sink.vertex(x, y, z);
            continue;
        case Command::Scale:
            break;
        }
        break;
    }
    state = { { hx, hy, hz }, x, y, z, step, negated ? -angle0 : angle0 };
    stack.top = top;
    if constexpr (copySink)
        outerSink = sink;
    return p;
}

} // namespace lsDetail

template<typename Sink>
void lsWalkString(double angle, double step, std::string_view commands, Sink &sink)
{
    const double c = std::cos(angle);
    const double s = std::sin(angle);

    lsTurtleState turtle{ { 0.0, 1.0, 0.0 }, 0.0, 0.0, 0.0, step, angle };
    std::vector<lsTurtleState> storage(64);
    lsDetail::StateStack stack{ storage.data(), storage.data(), storage.data() + storage.size() };

    sink.vertex(0.0, 0.0, 0.0);
    const char *p = commands.data();
    const char *const end = p + commands.size();
    while ((p = lsDetail::walkInline(p, end, c, s, angle, turtle, stack, sink)) != end) {
        if constexpr (lsDetail::GrowingSink<Sink>) {
            if (sink.full() && (*p != '@' && *p != '[')) {
                sink.grow();
                continue; // the move or ']' still to do
            }
        }
        if (*p == '@') {
            turtle.step *= lsReadFactor(p + 1, end);
        } else {
            // A '[' with the stack full: double it, then push.
            const std::size_t depth = storage.size();
            storage.resize(2 * depth);
            stack = { storage.data(), storage.data() + depth, storage.data() + storage.size() };
            *stack.top++ = turtle;
        }
        ++p;
    }
}

#pragma once

#include <array>

// What each character tells the turtle: the one table the walk dispatches on, and from
// which everything that counts a walk's vertices and strips without walking reads.
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

} // namespace lsDetail

#pragma once

// Internal to the engine: the turtle walk over a rule's characters in which letters with
// passes still to apply are units, shared by filling a unit table and drawing from it.

#include "engine/headingset.h"
#include "engine/turtle.h"
#include "engine/unitrules.h"
#include "engine/unittable.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lsDetail {

// The turtle with its heading as a number of the heading set.
struct UnitTurtle
{
    double x, y, z;
    double step;
    std::uint32_t heading;
    bool negated; // the angle's sign, flipped by '!'
};

// Leaves the turtle where unit u, entered by it, leaves it.
inline void advance(UnitTurtle &t, const lsUnit &u)
{
    t.x += t.step * u.exit[0];
    t.y += t.step * u.exit[1];
    t.z += t.step * u.exit[2];
    t.heading = u.heading;
    t.step *= u.scale;
    t.negated = t.negated != u.flips;
}

// The box of unit u as the turtle enters it: the unit's box scaled by the step (whose sign
// swaps minimum and maximum) and moved to the turtle.
inline void placeBox(const UnitTurtle &t, const lsUnit &u, double *box)
{
    const double at[3] = { t.x, t.y, t.z };
    for (int axis = 0; axis < 3; ++axis) {
        const double a = at[axis] + t.step * u.box[2 * axis];
        const double b = at[axis] + t.step * u.box[2 * axis + 1];
        box[2 * axis] = a < b ? a : b;
        box[2 * axis + 1] = a < b ? b : a;
    }
}

// Walks the characters of a rule (or the axiom) as the turtle walk does, with each
// rewritten letter a unit when childPasses > 0. The visitor has
//   bool unit(int letter, UnitTurtle &t);   // the unit of letter, with childPasses left;
//                                            // false stops the walk
//   std::uint32_t turn(std::uint32_t heading, lsHeadingSet::Turn turn); // none stops it
//   const slVector &vector(std::uint32_t heading);
//   void vertex(const UnitTurtle &t);        // a move drew to the turtle's position
//   void pop(const UnitTurtle &t);           // a ']' restored the turtle
// Saved states go on `stack` above what it held; a ']' with none of those does nothing,
// and states still saved at the end are dropped. Returns false when the visitor stopped it.
template<typename Visitor>
bool walkUnitOps(std::span<const lsUnitOp> ops,
                 int childPasses,
                 UnitTurtle &t,
                 std::vector<UnitTurtle> &stack,
                 Visitor &visitor)
{
    const std::size_t base = stack.size();
    for (const lsUnitOp &op : ops) {
        if (op.letter >= 0 && childPasses > 0) {
            if (!visitor.unit(op.letter, t)) {
                stack.resize(base);
                return false;
            }
            continue;
        }
        switch (op.command) {
        case Command::Ignore:
            break;
        case Command::Move: {
            const slVector &h = visitor.vector(t.heading);
            const double d = t.step * op.value;
            t.x += d * h.x;
            t.y += d * h.y;
            t.z += d * h.z;
            visitor.vertex(t);
            break;
        }
        case Command::TurnZ:
        case Command::TurnX: {
            const bool positive = (op.value > 0.0) != t.negated;
            const auto turn =
                    op.command == Command::TurnZ
                            ? (positive ? lsHeadingSet::ZPositive : lsHeadingSet::ZNegative)
                            : (positive ? lsHeadingSet::XPositive : lsHeadingSet::XNegative);
            t.heading = visitor.turn(t.heading, turn);
            if (t.heading == lsHeadingSet::none) {
                stack.resize(base);
                return false;
            }
            break;
        }
        case Command::Negate:
            t.negated = !t.negated;
            break;
        case Command::Scale:
            t.step *= op.value;
            break;
        case Command::Push:
            stack.push_back(t);
            break;
        case Command::Pop:
            if (stack.size() == base)
                break; // a surplus ']'
            t = stack.back();
            stack.pop_back();
            visitor.pop(t);
            break;
        }
    }
    stack.resize(base);
    return true;
}

} // namespace lsDetail

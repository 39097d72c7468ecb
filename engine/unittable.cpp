#include "engine/unittable.h"

#include "engine/unitwalk.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <new>

using lsDetail::UnitTurtle;

namespace {

// How much filling may be done between two looks at the cancellation flag.
constexpr std::uint64_t pollWork = 4096;

bool allFinite(std::initializer_list<double> values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

bool isFinite(const double *box)
{
    return allFinite({ box[0], box[1], box[2], box[3], box[4], box[5] });
}

bool isFinite(const lsUnit &u)
{
    return isFinite(u.box) && allFinite({ u.exit[0], u.exit[1], u.exit[2], u.scale });
}

void widen(double *box, const double *by)
{
    for (int axis = 0; axis < 3; ++axis) {
        lsWiden(by[2 * axis], box[2 * axis], box[2 * axis + 1]);
        lsWiden(by[2 * axis + 1], box[2 * axis], box[2 * axis + 1]);
    }
}

// The symbols, moves and ']'s that pop of a letter's expansion, which do not depend on the
// heading.
struct Counts
{
    lsWideCount symbols = 0, moves = 0, pops = 0;

    void add(const Counts &c)
    {
        symbols = lsAddSaturating(symbols, c.symbols);
        moves = lsAddSaturating(moves, c.moves);
        pops = lsAddSaturating(pops, c.pops);
    }
};

Counts countOf(lsDetail::Command command)
{
    using lsDetail::Command;
    return { 1, command == Command::Move ? 1u : 0u, command == Command::Pop ? 1u : 0u };
}

} // namespace

// Fills a table depth first from the units of the axiom, each unit once.
class lsUnitTable::Filler
{
public:
    Filler(lsUnitTable &table, const lsUnitLimits &limits, const std::atomic<bool> *cancel)
        : mTable(table)
        , mLimits(limits)
        , mCancel(cancel)
        , mStacks(std::size_t(table.mPasses) + 1)
        , mOutlines(std::size_t(table.mPasses) + 1)
    { }

    // The unit's index, filled if it was not yet; notFound when filling stopped (refusal or
    // cancelled then say why).
    std::uint32_t unitOf(int letter, int passes, bool negated, std::uint32_t heading);
    // The box of the whole pass and its ']'s that pop at the axiom's level; false when
    // filling stopped.
    bool fillPass(lsWideCount &axiomPops);

    std::string refusal;
    bool cancelled = false;

private:
    // Walks ops with every letter a unit of childPasses, widening the box by what they draw
    // and, with an outline (may be null), keeping where each leaves the turtle.
    struct BoxVisitor
    {
        Filler &filler;
        int childPasses;
        std::vector<lsUnitPoint> *outline;
        double box[6] = { 0, 0, 0, 0, 0, 0 };
        double childReach = 0.0;
        lsWideCount pops = 0;

        bool unit(int letter, UnitTurtle &t)
        {
            const std::uint32_t index = filler.unitOf(letter, childPasses, t.negated, t.heading);
            if (index == notFound)
                return false;
            const lsUnit &u = filler.mTable.mUnits[index];
            double placed[6];
            lsDetail::placeBox(t, u, placed);
            widen(box, placed);
            childReach = std::max(childReach, std::hypot(placed[lsMaxX] - placed[lsMinX],
                                                         placed[lsMaxY] - placed[lsMinY],
                                                         placed[lsMaxZ] - placed[lsMinZ]));
            lsDetail::advance(t, u);
            keep(t, false);
            return true;
        }
        std::uint32_t turn(std::uint32_t heading, lsHeadingSet::Turn turn)
        {
            filler.mTurnsAboutX |= turn >= lsHeadingSet::XPositive;
            const std::uint32_t turned = filler.mTable.mHeadings.turned(heading, turn);
            if (turned == lsHeadingSet::none)
                filler.refuseHeadings();
            return turned;
        }
        const slVector &vector(std::uint32_t heading)
        {
            return filler.mTable.mHeadings.vector(heading);
        }
        void vertex(const UnitTurtle &t)
        {
            lsGrowBox(box, t.x, t.y, t.z);
            childReach = std::max(childReach, std::abs(t.step));
            keep(t, false);
        }
        void pop(const UnitTurtle &t)
        {
            ++pops;
            keep(t, true);
        }
        void keep(const UnitTurtle &t, bool jump)
        {
            if (outline)
                outline->push_back({ t.x, t.y, t.z, jump });
        }
    };

    bool spend(std::size_t work);
    void refuseHeadings();

    lsUnitTable &mTable;
    const lsUnitLimits &mLimits;
    const std::atomic<bool> *mCancel;
    std::vector<std::vector<UnitTurtle>> mStacks;    // per passes left, reused
    std::vector<std::vector<lsUnitPoint>> mOutlines; // the same
    std::uint64_t mWork = 0;
    std::uint64_t mNextPoll = pollWork;
    bool mTurnsAboutX = false;
};

std::uint32_t
lsUnitTable::Filler::unitOf(int letter, int passes, bool negated, std::uint32_t heading)
{
    const std::uint64_t key = mTable.key(letter, passes, negated, heading);
    if (const std::uint32_t known = mTable.find(key); known != notFound)
        return known;
    const std::span<const lsUnitOp> ops = mTable.mRules.rule(letter);
    if (!spend(ops.size() + 1))
        return notFound;
    if (mTable.mUnits.size() >= mLimits.units) {
        refusal = "its unit table would be too large";
        return notFound;
    }
    UnitTurtle t{ 0.0, 0.0, 0.0, 1.0, heading, negated };
    std::vector<lsUnitPoint> &outline = mOutlines[passes];
    outline.clear();
    BoxVisitor visitor{ *this, passes - 1, &outline };
    if (!lsDetail::walkUnitOps(ops, passes - 1, t, mStacks[passes], visitor))
        return notFound;
    lsUnit u;
    std::copy(visitor.box, visitor.box + 6, u.box);
    u.exit[0] = t.x;
    u.exit[1] = t.y;
    u.exit[2] = t.z;
    u.scale = t.step;
    u.heading = t.heading;
    u.flips = t.negated != negated;
    u.childReach = visitor.childReach;
    if (!isFinite(u)) {
        refusal = "the step grows past what a double can hold";
        return notFound;
    }
    // Outlines are kept while they fit their budget; a drawing opens the units without one.
    u.outline = lsUnit::noOutline;
    u.outlineSize = 0;
    std::vector<lsUnitPoint> &kept = mTable.mOutlines;
    if (kept.size() + outline.size() <= mLimits.outlinePoints) {
        u.outline = static_cast<std::uint32_t>(kept.size());
        u.outlineSize = static_cast<std::uint32_t>(outline.size());
        kept.insert(kept.end(), outline.begin(), outline.end());
    }
    const auto index = static_cast<std::uint32_t>(mTable.mUnits.size());
    mTable.mUnits.push_back(u);
    mTable.insert(key, index);
    return index;
}

bool lsUnitTable::Filler::fillPass(lsWideCount &axiomPops)
{
    UnitTurtle t{ 0.0, 0.0, 0.0, mTable.mStep, 0, false };
    BoxVisitor visitor{ *this, mTable.mPasses, nullptr };
    std::vector<UnitTurtle> stack;
    if (!lsDetail::walkUnitOps(mTable.mRules.axiom(), mTable.mPasses, t, stack, visitor))
        return false;
    if (!isFinite(visitor.box)) {
        refusal = "the step grows past what a double can hold";
        return false;
    }
    std::copy(visitor.box, visitor.box + 6, mTable.mBox);
    axiomPops = visitor.pops;
    return true;
}

bool lsUnitTable::Filler::spend(std::size_t work)
{
    mWork += work;
    if (mWork > mLimits.work || mWork > mLimits.maxWork) {
        refusal = mWork > mLimits.work ? "walking this pass is quicker"
                                       : "its unit table would take too long to fill";
        return false;
    }
    if (mWork >= mNextPoll) {
        mNextPoll = mWork + pollWork;
        if (mCancel && mCancel->load(std::memory_order_relaxed)) {
            cancelled = true;
            return false;
        }
    }
    return true;
}

void lsUnitTable::Filler::refuseHeadings()
{
    if (mTable.mHeadings.failure() == lsHeadingSet::Failure::TooClose)
        refusal = "turns at this angle are too small to tell headings apart";
    else if (mTurnsAboutX)
        refusal = "too many headings (3D turns at this angle never repeat)";
    else
        refusal = "too many headings (turns at this angle repeat only after more than "
                  + std::to_string(mLimits.headings) + ")";
}

lsUnitTable::lsUnitTable(const lsRuleSet &rules,
                         std::string_view axiom,
                         int passes,
                         std::size_t headings)
    : mRules(rules, axiom)
    , mHeadings(rules.angle, headings)
    , mPasses(passes)
    , mStep(rules.step)
{ }

lsUnitTable::Made lsUnitTable::make(const lsRuleSet &rules,
                                    std::string_view axiom,
                                    int passes,
                                    const lsUnitLimits &limits,
                                    const std::atomic<bool> *cancel)
{
    Made made;
    try {
        std::shared_ptr<lsUnitTable> table(
                new lsUnitTable(rules, axiom, std::max(passes, 0), limits.headings));
        const lsUnitRules &unitRules = table->mRules;
        if (!unitRules.refusal().empty()) {
            made.refusal = unitRules.refusal();
            return made;
        }
        if (table->mHeadings.failure() != lsHeadingSet::Failure::None) {
            made.refusal = "turns at this angle are too small to tell headings apart";
            return made;
        }
        Filler filler(*table, limits, cancel);
        lsWideCount axiomPops = 0;
        if (!filler.fillPass(axiomPops)) {
            made.refusal = filler.refusal;
            made.cancelled = filler.cancelled;
            return made;
        }

        // The counts, level by level: a letter's after k passes is its rule's characters'
        // after k - 1.
        const int letters = unitRules.letterCount();
        std::vector<Counts> level(letters), next(letters);
        for (int i = 0; i < letters; ++i)
            level[i] = countOf(
                    lsDetail::commands.command[static_cast<unsigned char>(unitRules.letter(i))]);
        const auto countOps = [&](std::span<const lsUnitOp> ops, std::uint64_t idle) {
            Counts c{ idle, 0, 0 };
            for (const lsUnitOp &op : ops)
                c.add(op.letter >= 0 ? level[op.letter] : countOf(op.command));
            return c;
        };
        // Within units every ']' pops; of the axiom's own, those the walk above saw pop.
        std::uint64_t axiomCloses = 0;
        for (const lsUnitOp &op : unitRules.axiom())
            axiomCloses += op.letter < 0 && op.command == lsDetail::Command::Pop;
        for (int k = 1; k <= table->mPasses; ++k) {
            for (int i = 0; i < letters; ++i)
                next[i] = countOps(unitRules.rule(i), unitRules.idle(i));
            level.swap(next);
        }
        Counts pass = countOps(unitRules.axiom(), unitRules.idle(-1));
        if (pass.pops != lsWideCountOverflow)
            pass.pops = pass.pops - axiomCloses + axiomPops;
        table->mLength = pass.symbols;
        table->mVertices = lsAddSaturating(lsAddSaturating(1, pass.moves), pass.pops);
        table->mStrips = lsAddSaturating(1, pass.pops);
        made.table = std::move(table);
    } catch (const std::bad_alloc &) {
        made.table.reset();
        made.refusal = "there was not enough memory for the unit table";
    }
    return made;
}

void lsUnitTable::insert(std::uint64_t key, std::uint32_t index)
{
    if (2 * (mUnits.size() + 1) > mKeys.size()) {
        // Half full at most: rebuilt at twice the size from the units' keys.
        std::vector<std::uint64_t> keys(std::max<std::size_t>(64, 2 * mKeys.size()), 0);
        std::vector<std::uint32_t> slots(keys.size());
        const std::size_t mask = keys.size() - 1;
        for (std::size_t i = 0; i < mKeys.size(); ++i) {
            if (mKeys[i] == 0)
                continue;
            std::size_t j = slotOf(mKeys[i] - 1, mask);
            while (keys[j] != 0)
                j = (j + 1) & mask;
            keys[j] = mKeys[i];
            slots[j] = mSlots[i];
        }
        mKeys.swap(keys);
        mSlots.swap(slots);
    }
    const std::size_t mask = mKeys.size() - 1;
    std::size_t i = slotOf(key, mask);
    while (mKeys[i] != 0)
        i = (i + 1) & mask;
    mKeys[i] = key + 1;
    mSlots[i] = index;
}

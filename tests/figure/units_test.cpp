// Every shipped demo at every pass: what its expansion units count and bound, against its
// pass as the figure pipeline sizes it and as a walk of its symbols measures it.
#include "document/model/documentfigure.h"
#include "document/model/documentfile.h"
#include "engine/interpreter.h"
#include "engine/unittable.h"
#include "figure/figurelimits.h"
#include "figure/figurepipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// Walks of up to this many symbols take a few milliseconds.
constexpr std::uint64_t walkedSymbols = std::uint64_t(1) << 24;

TEST(DemoUnits, CountAndBoundEveryPassAsItsSymbolsDo)
{
    int demos = 0, walked = 0;
    for (const auto &entry :
         fs::recursive_directory_iterator(fs::path(SPRIG_SOURCE_DIR) / "demos")) {
        if (entry.path().extension() != ".lsd")
            continue;
        ++demos;
        DocumentData document;
        std::string error;
        ASSERT_TRUE(readDocumentFile(entry.path().string(), document, &error)) << error;
        for (int passes = kMinIterations; passes <= kMaxIterations; ++passes) {
            document.iterations = passes;
            const FigureRequest request = figureRequest(document);
            const FigureResult figure = buildFigure(request);
            const std::string name =
                    entry.path().stem().string() + " pass " + std::to_string(passes);
            ASSERT_EQ(figure.pass, passes) << name;
            const lsUnitTable::Made made = lsUnitTable::make(*figure.rules, *request.axiom, passes);
            ASSERT_TRUE(made.table) << name << ": " << made.refusal;
            const lsUnitTable &units = *made.table;
            EXPECT_TRUE(units.length() == figure.length) << name;
            EXPECT_TRUE(units.vertices() == figure.count.vertices) << name;
            EXPECT_TRUE(units.strips() == figure.count.strips) << name;
            if (figure.length > walkedSymbols)
                continue;
            ++walked;
            double box[6];
            ASSERT_TRUE(lsMeasureString(*figure.rules, *figure.commands.source(), box));
            double side = 0.0;
            for (int axis = 0; axis < 3; ++axis)
                side = std::max(side, box[2 * axis + 1] - box[2 * axis]);
            for (int i = 0; i < 6; ++i)
                EXPECT_NEAR(units.box()[i], box[i], 1e-9 * side) << name << ", box entry " << i;
        }
    }
    EXPECT_EQ(demos, 28);
    EXPECT_GT(walked, 150);
}

} // namespace

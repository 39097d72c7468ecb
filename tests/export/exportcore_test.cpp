// The exports without Qt, as the window will call them: models sized before they are
// written, animations that stop when asked and say how far they got.
#include "engine/commandsource.h"
#include "view/export/figureanimation.h"
#include "view/export/modelexport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

class ExportCore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "sprig-export-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        mDir = pattern;
    }
    void TearDown() override { fs::remove_all(mDir); }

    std::string path(const char *name) const { return (mDir / name).string(); }
    static void write(const std::string &path, const std::string &content)
    {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string read(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return { std::istreambuf_iterator<char>(in), {} };
    }

    fs::path mDir;
};

FigureRequest plant()
{
    FigureRequest request;
    request.axiom = "F";
    request.letters = { "F" };
    request.rules = { "F[+F]F[-F][F]" };
    request.angle = 20;
    request.passes = 3;
    return request;
}

TEST_F(ExportCore, AModelsSizeIsKnownExactlyBeforeItIsWrittenAndBoundsIt)
{
    const FigureResult figure = buildFigure(plant());
    for (const ModelFormat format : { ModelFormat::Obj, ModelFormat::Ply }) {
        for (const double tube : { 0.0, 1.5 }) {
            SCOPED_TRACE(std::to_string(int(format)) + " tube " + std::to_string(tube));
            ModelOptions options;
            options.format = format;
            options.tubeRadius = tube;
            options.name = "plant";
            ModelSize size;
            ASSERT_TRUE(measureModel(*figure.rules, *figure.commands.source(), options, size));
            EXPECT_EQ(size.vertices, tube > 0 ? size.vertices : figure.count.vertices);
            EXPECT_FALSE(size.tooLarge);

            // One byte under its size, it is refused, and the file keeps its bytes.
            write(path("model"), "old content");
            options.maxBytes = size.bytes - 1;
            std::string error;
            EXPECT_FALSE(writeModel(*figure.rules, *figure.commands.source(), options,
                                    path("model"), &error));
            EXPECT_NE(error.find("past the"), std::string::npos) << error;
            EXPECT_EQ(read(path("model")), "old content");

            options.maxBytes = size.bytes;
            ASSERT_TRUE(writeModel(*figure.rules, *figure.commands.source(), options, path("model"),
                                   &error))
                    << error;
            EXPECT_EQ(fs::file_size(path("model")), size.bytes);
        }
    }
}

TEST_F(ExportCore, AnAnimationSaysHowFarItGotAndStopsWhenAsked)
{
    const FigureRequest request = plant();
    const FigureResult figure = buildFigure(request);
    AnimationOptions options;
    options.width = 48;
    options.height = 40;
    options.frames = 6;
    std::vector<std::pair<int, int>> heard; // frames done, frames in all
    std::atomic<bool> stop{ false };
    const AnimationControl control{ &stop, [&](int done, int frames) {
                                       heard.emplace_back(done, frames);
                                       stop = done == 3; // a Stop button pressed
                                   } };
    write(path("turn.gif"), "old content");
    std::string error;
    EXPECT_FALSE(writeAnimation(figure, request.angle, options, path("turn.gif"), &error, control));
    EXPECT_NE(error.find("stopped"), std::string::npos) << error;
    EXPECT_EQ(heard, (std::vector<std::pair<int, int>>{ { 1, 6 }, { 2, 6 }, { 3, 6 } }));
    EXPECT_EQ(read(path("turn.gif")), "old content");

    heard.clear();
    stop = false;
    options.kind = AnimationKind::Growth; // a frame per pass
    ASSERT_TRUE(writeAnimation(figure, request.angle, options, path("turn.gif"), &error, control))
            << error;
    EXPECT_EQ(heard, (std::vector<std::pair<int, int>>{ { 1, 3 }, { 2, 3 }, { 3, 3 } }));
    EXPECT_EQ(read(path("turn.gif")).substr(0, 6), "GIF89a");

    // A folder is neither replaced nor written into.
    fs::create_directory(path("folder.gif"));
    EXPECT_FALSE(writeAnimation(figure, request.angle, options, path("folder.gif"), &error));
    EXPECT_NE(error.find("folder.gif"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(path("folder.gif")));
}

} // namespace

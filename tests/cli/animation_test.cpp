// Animated GIFs from sprig-render, read back with giflib and held against the PNG pictures
// of the same numbers.
#include "tests/cli/clitest.h"

#include <QImage>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;
using namespace clitest;

namespace {

struct Animation
{
    std::vector<QImage> frames;
    std::vector<int> delays; // hundredths of a second
    bool loops = false;
};

// Every frame of a GIF whose frames each cover the whole picture.
Animation readGif(const QString &path)
{
    Animation animation;
    int error = 0;
    GifFileType *gif = DGifOpenFileName(QFile::encodeName(path).constData(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << path.toStdString() << ": " << GifErrorString(gif ? gif->Error : error);
        if (gif)
            DGifCloseFile(gif, &error);
        return animation;
    }
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage &image = gif->SavedImages[i];
        EXPECT_EQ(image.ImageDesc.Width, gif->SWidth);
        EXPECT_EQ(image.ImageDesc.Height, gif->SHeight);
        const ColorMapObject *palette =
                image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        QImage frame(gif->SWidth, gif->SHeight, QImage::Format_RGB32);
        for (int y = 0; y < frame.height(); ++y) {
            for (int x = 0; x < frame.width(); ++x) {
                const GifColorType c = palette->Colors[image.RasterBits[y * frame.width() + x]];
                frame.setPixel(x, y, qRgb(c.Red, c.Green, c.Blue));
            }
        }
        animation.frames.push_back(frame);
        GraphicsControlBlock control;
        animation.delays.push_back(
                DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK ? control.DelayTime : -1);
        for (int e = 0; e < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock &block = image.ExtensionBlocks[e];
            animation.loops |= block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11
                               && std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0;
        }
    }
    DGifCloseFile(gif, &error);
    return animation;
}

// Whether a frame shows a picture within the palette's quantisation. The palette runs from
// the background to the line colour in 256 steps; the picture's blends are rounded to 8 bits
// a channel at each line drawn over another, which leaves a few pixels a level or two off
// that ramp, and those go to its nearest step.
::testing::AssertionResult sameWithinPalette(const QImage &frame, const QImage &picture)
{
    if (frame.size() != picture.size())
        return ::testing::AssertionFailure() << "sizes differ";
    int largest = 0;
    int offByMore = 0; // pixels off by more than a level
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y), q = picture.pixel(x, y);
            const int difference =
                    std::max({ std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                               std::abs(qBlue(p) - qBlue(q)) });
            largest = std::max(largest, difference);
            offByMore += difference > 1;
        }
    }
    if (largest <= 4 && offByMore * 100 < frame.width() * frame.height())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixels differ by up to " << largest << ", " << offByMore << " by more than 1";
}

int drawnPixels(const QImage &picture)
{
    int drawn = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            drawn += picture.pixel(x, y) != picture.pixel(0, 0);
    return drawn;
}

const char bushJson[] = R"({"axiom": "F", "letters": ["F"], "rules": ["F[>F][<F]F[+F]"],
    "angle": 30, "iterations": 3, "color": [0.9, 0.6, 0.1, 1], "bgColor": [0.1, 0.1, 0.3, 1]})";
const char plantJson[] = R"({"axiom": "F", "letters": ["F"], "rules": ["F[+F]F[-F][F]"],
    "angle": 20, "iterations": 4, "color": [0.25, 0.55, 0.15, 1], "bgColor": [1, 1, 1, 1]})";

using Animations = SprigRender;

TEST_F(Animations, FramesArePicturesOfTheSameNumbers)
{
    writeFile(u"bush.json"_s, bushJson);
    const QStringList bush{ u"--from-json"_s, u"bush.json"_s, u"--size"_s, u"96x80"_s };
    Result r = run(
            bush
            + QStringList{ u"--frames"_s, u"12"_s, u"--delay"_s, u"50"_s, u"-o"_s, u"turn.gif"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const Animation turn = readGif(path(u"turn.gif"_s));
    ASSERT_EQ(turn.frames.size(), 12u);
    EXPECT_EQ(turn.delays, std::vector<int>(12, 5));
    EXPECT_TRUE(turn.loops);
    for (const int k : { 0, 1, 5, 11 }) {
        r = run(bush + QStringList{ u"--spin"_s, QString::number(30 * k), u"-o"_s, u"spin.png"_s });
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(sameWithinPalette(turn.frames[std::size_t(k)], QImage(path(u"spin.png"_s))))
                << "frame " << k;
    }

    // Growing: each pass framed alone is the picture of that pass; framed as the last, the
    // figure grows in place, smaller until the last pass.
    writeFile(u"plant.json"_s, plantJson);
    const QStringList plant{ u"--from-json"_s, u"plant.json"_s, u"--size"_s,
                             u"80"_s,          u"--animate"_s,  u"growth"_s };
    r = run(plant + QStringList{ u"--growth-framing"_s, u"each"_s, u"-o"_s, u"each.gif"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    r = run(plant + QStringList{ u"-o"_s, u"last.gif"_s });
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const Animation each = readGif(path(u"each.gif"_s));
    const Animation last = readGif(path(u"last.gif"_s));
    ASSERT_EQ(each.frames.size(), 4u);
    ASSERT_EQ(last.frames.size(), 4u);
    for (int pass = 1; pass <= 4; ++pass) {
        r = run({ u"--from-json"_s, u"plant.json"_s, u"--size"_s, u"80"_s, u"--iterations"_s,
                  QString::number(pass), u"-o"_s, u"pass.png"_s });
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_TRUE(
                sameWithinPalette(each.frames[std::size_t(pass - 1)], QImage(path(u"pass.png"_s))))
                << "pass " << pass;
    }
    EXPECT_EQ(last.frames[3], each.frames[3]);
    EXPECT_LT(drawnPixels(last.frames[0]) * 10, drawnPixels(each.frames[0]));
}

} // namespace

// TIFF snapshots decoded again with libtiff.
#include "view/tiffwriter.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TiffWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path()
              / ("sprig-tiff-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed())
                 + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Writes a width x height picture whose pixel (x, y) is (x, y, x + y) modulo 256, a row
    // at a time.
    static bool writeGradient(int width, int height, const fs::path &path, std::string *error)
    {
        TiffWriter writer;
        if (!writer.open(path, width, height, 3, error))
            return false;
        std::vector<std::uint8_t> row(std::size_t(width) * 3);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                row[3 * std::size_t(x)] = std::uint8_t(x);
                row[3 * std::size_t(x) + 1] = std::uint8_t(y);
                row[3 * std::size_t(x) + 2] = std::uint8_t(x + y);
            }
            if (!writer.writeRow(row.data(), error))
                return false;
        }
        return writer.commit(error);
    }

    std::size_t entries() const
    {
        return std::distance(fs::directory_iterator(dir), fs::directory_iterator());
    }

    fs::path dir;
};

TEST_F(TiffWriterTest, WritesUncompressedRgbWithoutAlpha)
{
    const fs::path path = dir / "figure.tiff";
    std::string error;
    ASSERT_TRUE(writeGradient(301, 7, path, &error)) << error;

    TIFF *tiff = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 0, compression = 0, photometric = 0, extraCount = 0, planar = 0;
    uint16_t *extra = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    EXPECT_EQ(width, 301u);
    EXPECT_EQ(height, 7u);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(compression, COMPRESSION_NONE);
    EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(extraCount, 0);
    ASSERT_EQ(planar, PLANARCONFIG_CONTIG);

    std::vector<std::uint8_t> row(TIFFScanlineSize(tiff));
    ASSERT_EQ(row.size(), 301u * 3);
    for (uint32_t y = 0; y < height; ++y) {
        ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1);
        for (uint32_t x = 0; x < width; ++x) {
            ASSERT_EQ(row[3 * x], std::uint8_t(x));
            ASSERT_EQ(row[3 * x + 1], std::uint8_t(y));
            ASSERT_EQ(row[3 * x + 2], std::uint8_t(x + y));
        }
    }
    TIFFClose(tiff);
    EXPECT_EQ(entries(), 1u); // no temporary left behind
}

TEST_F(TiffWriterTest, FailuresAreReportedAndKeepExistingFiles)
{
    std::string error;
    EXPECT_FALSE(writeGradient(8, 8, dir / "missing" / "figure.tiff", &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;

    // The finished file cannot replace a directory: the directory and its content stay.
    const fs::path occupied = dir / "occupied";
    fs::create_directories(occupied);
    std::ofstream(occupied / "keep") << "x";
    error.clear();
    EXPECT_FALSE(writeGradient(8, 8, occupied, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::exists(occupied / "keep"));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(TiffWriterTest, ReplacesAnEarlierSnapshot)
{
    const fs::path path = dir / "figure.tiff";
    std::ofstream(path) << "old content";
    std::string error;
    ASSERT_TRUE(writeGradient(16, 4, path, &error)) << error;
    TIFF *tiff = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint32_t width = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    EXPECT_EQ(width, 16u);
    TIFFClose(tiff);
}

} // namespace

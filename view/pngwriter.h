#pragma once

#include "fileio/safefile.h"
#include "view/picturewriter.h"

#include <png.h>

// PNG files with libpng: 8-bit RGB or RGBA, not interlaced, compressed a row at a time.
class PngWriter final : public PictureWriter
{
public:
    PngWriter() = default;
    ~PngWriter() override;
    PngWriter(const PngWriter &) = delete;
    PngWriter &operator=(const PngWriter &) = delete;

    [[nodiscard]] bool
    open(const std::string &path, int width, int height, int channels, std::string *error) override;
    [[nodiscard]] bool writeRow(const std::uint8_t *pixels, std::string *error) override;
    [[nodiscard]] bool commit(std::string *error) override;
    const std::string &warning() const override { return mFile.warning(); }

private:
    static void writeBytes(png_structp png, png_bytep data, png_size_t size);
    static void flushNothing(png_structp png);
    [[noreturn]] static void failed(png_structp png, png_const_charp message);
    static void ignoreWarning(png_structp png, png_const_charp message);
    bool fail(std::string *error);
    void destroy();

    SafeFile mFile;
    std::string mPath;
    png_structp mPng = nullptr;
    png_infop mInfo = nullptr;
    std::string mFailure; // libpng's message, or the file's
};

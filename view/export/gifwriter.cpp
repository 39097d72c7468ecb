#include "view/export/gifwriter.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <new>

struct GifOutput
{
    static int write(GifFileType *gif, const GifByteType *bytes, int length)
    {
        return static_cast<GifWriter *>(gif->UserData)->take(bytes, length) ? length : 0;
    }
};

namespace {

GifFileType *gifOf(void *gif)
{
    return static_cast<GifFileType *>(gif);
}

} // namespace

GifWriter::~GifWriter()
{
    close();
}

bool GifWriter::open(const std::string &path,
                     int width,
                     int height,
                     Rgb background,
                     Rgb line,
                     int delayCentiseconds,
                     std::string *error)
{
    close();
    mPath = path;
    mWidth = width;
    mHeight = height;
    mDelay = delayCentiseconds;
    mBackground = background;
    mLine = line;
    mRowsLeft = 0;
    mWritten = 0;
    mTooLarge = false;
    mWriteFailure.clear();
    // The file keeps each side in 16 bits.
    if (width < 1 || height < 1 || width > maxSide || height > maxSide)
        return fail(error, "a GIF's sides are from 1 to " + std::to_string(maxSide) + " pixels");
    double spanSquared = 0.0;
    for (std::size_t c = 0; c < 3; ++c) {
        mSpan[c] = double(line[c]) - double(background[c]);
        spanSquared += mSpan[c] * mSpan[c];
    }
    mScale = spanSquared > 0.0 ? 255.0 / spanSquared : 0.0;
    try {
        mRow.assign(std::size_t(width), 0);
    } catch (const std::bad_alloc &) {
        return fail(error, "not enough memory for a row of the animation");
    }
    std::string reason;
    if (!mFile.open(path, &reason))
        return fail(error, reason);
    int code = 0;
    GifFileType *gif = EGifOpen(this, &GifOutput::write, &code);
    if (!gif)
        return fail(error, cause(code));
    mGif = gif;
    EGifSetGifVersion(gif, true);

    GifColorType colors[256];
    for (int k = 0; k < 256; ++k) {
        const auto step = [k](std::uint8_t from, std::uint8_t to) {
            return GifByteType(std::lround(from + (to - from) * (k / 255.0)));
        };
        colors[k] = { step(background[0], line[0]), step(background[1], line[1]),
                      step(background[2], line[2]) };
    }
    ColorMapObject *palette = GifMakeMapObject(256, colors);
    if (!palette)
        return fail(error, "not enough memory for the palette");
    const int described = EGifPutScreenDesc(gif, width, height, 8, 0, palette);
    GifFreeMapObject(palette);
    if (described != GIF_OK)
        return fail(error, cause(gif->Error));
    // Loops forever (the application extension browsers read for it).
    const GifByteType loop[3] = { 1, 0, 0 };
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK
        || EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0") != GIF_OK
        || EGifPutExtensionBlock(gif, 3, loop) != GIF_OK || EGifPutExtensionTrailer(gif) != GIF_OK)
        return fail(error, cause(gif->Error));
    return true;
}

bool GifWriter::beginFrame(std::string *error)
{
    GifFileType *gif = gifOf(mGif);
    if (!gif)
        return fail(error, "the animation is not open");
    if (mRowsLeft > 0)
        return fail(error, "a frame was begun before the last one was whole");
    GraphicsControlBlock control{ DISPOSE_DO_NOT, false, mDelay, NO_TRANSPARENT_COLOR };
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK
        || EGifPutImageDesc(gif, 0, 0, mWidth, mHeight, false, nullptr) != GIF_OK)
        return fail(error, cause(gif->Error));
    mRowsLeft = mHeight;
    return true;
}

bool GifWriter::writeRow(const std::uint8_t *rgb, std::string *error)
{
    GifFileType *gif = gifOf(mGif);
    if (!gif || mRowsLeft <= 0)
        return fail(error, "no frame takes a row");
    // A pixel's palette step is where it lies between the background and the line colour.
    for (std::size_t x = 0; x < mRow.size(); ++x) {
        const std::uint8_t *p = rgb + 3 * x;
        const double along = (p[0] - mBackground[0]) * mSpan[0] + (p[1] - mBackground[1]) * mSpan[1]
                             + (p[2] - mBackground[2]) * mSpan[2];
        mRow[x] = std::uint8_t(std::clamp(std::lround(along * mScale), 0L, 255L));
    }
    if (EGifPutLine(gif, mRow.data(), mWidth) != GIF_OK)
        return fail(error, cause(gif->Error));
    --mRowsLeft;
    return true;
}

bool GifWriter::commit(std::string *error)
{
    GifFileType *gif = gifOf(mGif);
    if (!gif)
        return fail(error, "the animation is not open");
    if (mRowsLeft > 0)
        return fail(error, "the last frame is not whole");
    mGif = nullptr;
    int code = 0;
    if (EGifCloseFile(gif, &code) != GIF_OK) {
        mFile.cancel();
        return fail(error, cause(code));
    }
    std::string reason;
    if (!mFile.commit(&reason))
        return fail(error, reason);
    return true;
}

void GifWriter::cancel()
{
    close();
    mFile.cancel();
}

bool GifWriter::take(const std::uint8_t *bytes, int length)
{
    if (mTooLarge || !mWriteFailure.empty())
        return false;
    mWritten += std::uint64_t(length);
    if (mWritten > maxBytes) {
        mTooLarge = true;
        return false;
    }
    return mFile.write(bytes, std::size_t(length), &mWriteFailure);
}

bool GifWriter::fail(std::string *error, const std::string &cause)
{
    close();
    mFile.cancel();
    if (error)
        *error = mPath + ": " + cause;
    return false;
}

std::string GifWriter::cause(int code) const
{
    if (mTooLarge)
        return "the GIF would be larger than " + std::to_string(maxBytes >> 20)
               + " MiB; fewer frames or a smaller picture make it smaller";
    if (!mWriteFailure.empty())
        return mWriteFailure;
    const char *text = GifErrorString(code);
    return text ? text : "GIF error " + std::to_string(code);
}

void GifWriter::close()
{
    if (GifFileType *gif = gifOf(mGif)) {
        mGif = nullptr;
        int code = 0;
        EGifCloseFile(gif, &code);
    }
}

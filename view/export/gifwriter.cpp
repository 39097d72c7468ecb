#include "view/export/gifwriter.h"

#include "view/imagerep.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <vector>

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
    mWritten = 0;
    mTooLarge = false;
    mWriteFailure.clear();
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

bool GifWriter::addFrame(const lsImageRep &frame, std::string *error)
{
    GifFileType *gif = gifOf(mGif);
    if (!gif)
        return fail(error, "the animation is not open");
    if (frame.width != mWidth || frame.height != mHeight)
        return fail(error, "a frame has another size than the animation");
    GraphicsControlBlock control{ DISPOSE_DO_NOT, false, mDelay, NO_TRANSPARENT_COLOR };
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK
        || EGifPutImageDesc(gif, 0, 0, mWidth, mHeight, false, nullptr) != GIF_OK)
        return fail(error, cause(gif->Error));

    // A pixel's palette step is where it lies between the background and the line colour.
    std::array<double, 3> span{};
    double spanSquared = 0.0;
    for (std::size_t c = 0; c < 3; ++c) {
        span[c] = double(mLine[c]) - double(mBackground[c]);
        spanSquared += span[c] * span[c];
    }
    const double scale = spanSquared > 0.0 ? 255.0 / spanSquared : 0.0;
    std::vector<GifPixelType> row(static_cast<std::size_t>(mWidth));
    for (int y = 0; y < mHeight; ++y) {
        const std::size_t start = std::size_t(y) * std::size_t(frame.stride);
        for (int x = 0; x < mWidth; ++x) {
            const std::size_t i = start + std::size_t(x);
            const double along = (frame.red[i] - mBackground[0]) * span[0]
                                 + (frame.green[i] - mBackground[1]) * span[1]
                                 + (frame.blue[i] - mBackground[2]) * span[2];
            row[std::size_t(x)] = GifPixelType(std::clamp(std::lround(along * scale), 0L, 255L));
        }
        if (EGifPutLine(gif, row.data(), mWidth) != GIF_OK)
            return fail(error, cause(gif->Error));
    }
    return true;
}

bool GifWriter::commit(std::string *error)
{
    GifFileType *gif = gifOf(mGif);
    if (!gif)
        return fail(error, "the animation is not open");
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

#include "view/tiffwriter.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

// Samples beyond this need BigTIFF's 64-bit offsets (a margin below 4 GiB for the tags).
constexpr std::uint64_t kClassicTiffBytes = (std::uint64_t(4) << 30) - (std::uint64_t(16) << 20);

TiffWriter &writerOf(thandle_t handle)
{
    return *static_cast<TiffWriter *>(handle);
}

tmsize_t readProc(thandle_t handle, void *data, tmsize_t size)
{
    return writerOf(handle).readBytes(data, size);
}

tmsize_t writeProc(thandle_t handle, void *data, tmsize_t size)
{
    return writerOf(handle).writeBytes(data, size);
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    return writerOf(handle).seek(offset, whence);
}

int closeProc(thandle_t)
{
    return 0;
}

toff_t sizeProc(thandle_t handle)
{
    return writerOf(handle).fileSize();
}

int mapNothing(thandle_t, void **, toff_t *)
{
    return 0;
}

void unmapNothing(thandle_t, void *, toff_t) { }

// Collects libtiff's message for the caller instead of letting it print to stderr.
int keepTiffError(TIFF *, void *userData, const char *, const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<TiffWriter *>(userData)->keepMessage(text);
    return 1;
}

} // namespace

TiffWriter::~TiffWriter()
{
    close();
}

void TiffWriter::close()
{
    if (mTiff)
        TIFFCleanup(mTiff);
    mTiff = nullptr;
}

void TiffWriter::keepMessage(const std::string &message)
{
    if (mFailure.empty())
        mFailure = message;
}

bool TiffWriter::fail(std::string *error)
{
    close();
    mFile.cancel();
    if (error)
        *error = "cannot write " + mPath + ": "
                 + (mFailure.empty() ? std::string("not enough memory") : mFailure);
    return false;
}

std::int64_t TiffWriter::readBytes(void *, std::int64_t)
{
    return 0; // written, never read back
}

std::int64_t TiffWriter::writeBytes(const void *data, std::int64_t size)
{
    if (size < 0)
        return -1;
    // libtiff may seek past the end to align what it writes next: the gap holds zeros.
    static constexpr char zeros[64] = {};
    while (mFile.size() < mPosition) {
        const auto gap =
                std::size_t(std::min<std::uint64_t>(sizeof zeros, mPosition - mFile.size()));
        if (!mFile.write(zeros, gap, &mFailure))
            return -1;
    }
    const bool written = mPosition == mFile.size()
                                 ? mFile.write(data, std::size_t(size), &mFailure)
                                 : mFile.writeAt(mPosition, data, std::size_t(size), &mFailure);
    if (!written)
        return -1;
    mPosition += std::uint64_t(size);
    return size;
}

std::uint64_t TiffWriter::seek(std::uint64_t offset, int whence)
{
    const std::uint64_t base = whence == SEEK_CUR   ? mPosition
                               : whence == SEEK_END ? mFile.size()
                                                    : 0;
    mPosition = base + offset;
    return mPosition;
}

bool TiffWriter::open(const std::string &path,
                      int width,
                      int height,
                      int channels,
                      std::string *error)
{
    close();
    mPath = path;
    mFailure.clear();
    mPosition = 0;
    mRow = 0;
    if (channels != 3) {
        mFailure = "a TIFF picture here has no transparency";
        return fail(error);
    }
    if (!mFile.open(path, &mFailure))
        return fail(error);
    const std::uint64_t samples = std::uint64_t(width) * std::uint64_t(height) * 3;
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepTiffError, this);
    mTiff = TIFFClientOpenExt(path.c_str(), samples > kClassicTiffBytes ? "w8" : "w", this,
                              readProc, writeProc, seekProc, closeProc, sizeProc, mapNothing,
                              unmapNothing, options);
    TIFFOpenOptionsFree(options);
    if (!mTiff)
        return fail(error);
    TIFFSetField(mTiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(mTiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(mTiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(mTiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(mTiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(mTiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(mTiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(mTiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(mTiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(mTiff, 0));
    TIFFSetField(mTiff, TIFFTAG_XRESOLUTION, 72.0);
    TIFFSetField(mTiff, TIFFTAG_YRESOLUTION, 72.0);
    TIFFSetField(mTiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    return true;
}

bool TiffWriter::writeRow(const std::uint8_t *pixels, std::string *error)
{
    // libtiff takes the row as writable memory but only reads it.
    if (!mTiff || TIFFWriteScanline(mTiff, const_cast<std::uint8_t *>(pixels), mRow, 0) < 0)
        return fail(error);
    ++mRow;
    return true;
}

bool TiffWriter::commit(std::string *error)
{
    if (!mTiff || TIFFFlush(mTiff) != 1)
        return fail(error);
    close();
    if (!mFile.commit(&mFailure))
        return fail(error);
    return true;
}

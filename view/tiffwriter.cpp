#include "view/tiffwriter.h"

#include "fileio/safefile.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Collects libtiff's message for the caller instead of letting it print to stderr.
int keepTiffError(TIFF *, void *userData, const char *, const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    auto *message = static_cast<std::string *>(userData);
    if (message->empty())
        *message = text;
    return 1;
}

// A growing in-memory file for libtiff, so that the finished bytes are committed through
// SafeFile like every other output.
struct MemoryFile
{
    std::vector<std::uint8_t> bytes;
    std::uint64_t position = 0;
};

MemoryFile &memoryOf(thandle_t handle)
{
    return *static_cast<MemoryFile *>(handle);
}

tmsize_t readMemory(thandle_t handle, void *data, tmsize_t size)
{
    MemoryFile &file = memoryOf(handle);
    if (size < 0 || file.position >= file.bytes.size())
        return 0;
    const std::size_t n =
            std::min<std::size_t>(std::size_t(size), file.bytes.size() - file.position);
    std::memcpy(data, file.bytes.data() + file.position, n);
    file.position += n;
    return tmsize_t(n);
}

tmsize_t writeMemory(thandle_t handle, void *data, tmsize_t size)
{
    MemoryFile &file = memoryOf(handle);
    if (size < 0)
        return -1;
    const std::uint64_t end = file.position + std::uint64_t(size);
    try {
        if (end > file.bytes.size())
            file.bytes.resize(std::size_t(end));
    } catch (const std::bad_alloc &) {
        return -1;
    }
    std::memcpy(file.bytes.data() + file.position, data, std::size_t(size));
    file.position = end;
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence)
{
    MemoryFile &file = memoryOf(handle);
    const std::uint64_t base = whence == SEEK_CUR   ? file.position
                               : whence == SEEK_END ? file.bytes.size()
                                                    : 0;
    file.position = base + offset;
    return file.position;
}

int closeMemory(thandle_t)
{
    return 0;
}

toff_t sizeOfMemory(thandle_t handle)
{
    return memoryOf(handle).bytes.size();
}

int mapNothing(thandle_t, void **, toff_t *)
{
    return 0;
}

void unmapNothing(thandle_t, void *, toff_t) { }

bool fail(std::string *error, const std::string &reason)
{
    if (error)
        *error = reason;
    return false;
}

// Writes the image's rows into the open TIFF; false with libtiff's message on failure.
bool writeRows(TIFF *tiff, const lsImageRep &image)
{
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 72.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 72.0);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);

    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        interleaveRow(image, y, row.data());
        if (TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) < 0)
            return false;
    }
    return TIFFFlush(tiff) == 1;
}

} // namespace

bool writeTiff(const lsImageRep &image, const std::string &path, std::string *error)
{
    const std::size_t planeSize = static_cast<std::size_t>(image.stride) * image.height;
    if (image.isNull() || image.stride < image.width || image.red.size() < planeSize
        || image.green.size() < planeSize || image.blue.size() < planeSize)
        return fail(error, "there is no image to save");

    std::string message;
    MemoryFile memory;
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepTiffError, &message);
    TIFF *tiff = TIFFClientOpenExt(path.c_str(), "w", &memory, readMemory, writeMemory, seekMemory,
                                   closeMemory, sizeOfMemory, mapNothing, unmapNothing, options);
    TIFFOpenOptionsFree(options);
    if (!tiff)
        return fail(error, "cannot write " + path + ": " + message);
    const bool encoded = writeRows(tiff, image);
    TIFFClose(tiff);
    if (!encoded)
        return fail(error,
                    "cannot write " + path + ": "
                            + (message.empty() ? std::string("not enough memory") : message));
    std::string cause;
    if (!writeFileSafely(path, memory.bytes, &cause))
        return fail(error, "cannot write " + path + ": " + cause);
    return true;
}

#include "view/tiffwriter.h"

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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

// Creates a new file next to `path` that no one else uses; -1 with errno set on failure.
int createTemporary(const std::string &path, std::string &temporary)
{
    static std::atomic<unsigned> counter{ 0 };
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

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
        const std::size_t offset = static_cast<std::size_t>(y) * image.stride;
        for (int x = 0; x < image.width; ++x) {
            row[3 * x] = image.red[offset + x];
            row[3 * x + 1] = image.green[offset + x];
            row[3 * x + 2] = image.blue[offset + x];
        }
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

    std::string temporary;
    const int fd = createTemporary(path, temporary);
    if (fd < 0)
        return fail(error, "cannot create a file next to " + path + ": " + std::strerror(errno));

    std::string message;
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepTiffError, &message);
    TIFF *tiff = TIFFFdOpenExt(fd, temporary.c_str(), "w", options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        close(fd);
        unlink(temporary.c_str());
        return fail(error, "cannot write " + path + ": " + message);
    }
    bool ok = writeRows(tiff, image);
    int savedErrno = errno;
    // Make the bytes durable before the new file replaces the old one.
    if (ok && fsync(fd) != 0) {
        ok = false;
        savedErrno = errno;
    }
    TIFFClose(tiff); // closes fd
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
        message.clear();
    }
    if (!ok) {
        unlink(temporary.c_str());
        const std::string reason = message.empty() ? std::strerror(savedErrno) : message;
        return fail(error, "cannot write " + path + ": " + reason);
    }
    return true;
}

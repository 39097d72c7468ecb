#include "view/pngwriter.h"

// libpng reports errors by a longjmp back to the setjmp of the function that called it:
// those functions hold nothing that needs destroying between the two.

PngWriter::~PngWriter()
{
    destroy();
}

void PngWriter::destroy()
{
    if (mPng)
        png_destroy_write_struct(&mPng, mInfo ? &mInfo : nullptr);
    mPng = nullptr;
    mInfo = nullptr;
}

void PngWriter::writeBytes(png_structp png, png_bytep data, png_size_t size)
{
    auto *self = static_cast<PngWriter *>(png_get_io_ptr(png));
    if (!self->mFile.write(data, size, &self->mFailure))
        png_error(png, "");
}

void PngWriter::flushNothing(png_structp) { }

void PngWriter::failed(png_structp png, png_const_charp message)
{
    auto *self = static_cast<PngWriter *>(png_get_error_ptr(png));
    if (self->mFailure.empty())
        self->mFailure = message;
    png_longjmp(png, 1);
}

void PngWriter::ignoreWarning(png_structp, png_const_charp) { }

bool PngWriter::fail(std::string *error)
{
    destroy();
    mFile.cancel();
    if (error)
        *error = "cannot write " + mPath + ": "
                 + (mFailure.empty() ? std::string("not enough memory") : mFailure);
    return false;
}

bool PngWriter::open(const std::string &path,
                     int width,
                     int height,
                     int channels,
                     std::string *error)
{
    destroy();
    mPath = path;
    mFailure.clear();
    if (!mFile.open(path, &mFailure))
        return fail(error);
    mPng = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, failed, ignoreWarning);
    mInfo = mPng ? png_create_info_struct(mPng) : nullptr;
    if (!mInfo)
        return fail(error);
    if (setjmp(png_jmpbuf(mPng)))
        return fail(error);
    png_set_write_fn(mPng, this, writeBytes, flushNothing);
    png_set_IHDR(mPng, mInfo, png_uint_32(width), png_uint_32(height), 8,
                 channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(mPng, mInfo);
    return true;
}

bool PngWriter::writeRow(const std::uint8_t *pixels, std::string *error)
{
    if (!mPng)
        return fail(error);
    if (setjmp(png_jmpbuf(mPng)))
        return fail(error);
    png_write_row(mPng, pixels);
    return true;
}

bool PngWriter::commit(std::string *error)
{
    if (!mPng)
        return fail(error);
    if (setjmp(png_jmpbuf(mPng)))
        return fail(error);
    png_write_end(mPng, nullptr);
    destroy();
    if (!mFile.commit(&mFailure))
        return fail(error);
    return true;
}

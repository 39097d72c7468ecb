#pragma once

#include "fileio/safefile.h"
#include "view/picturewriter.h"

#include <cstdint>
#include <string>

typedef struct tiff TIFF;

// TIFF files with libtiff: uncompressed RGB, 8 bits per sample, no alpha (a picture of 4
// channels is refused), in strips written as the rows come, through a SafeFile (libtiff
// fills in the header last). A picture whose samples pass 4 GiB is written as BigTIFF.
class TiffWriter final : public PictureWriter
{
public:
    TiffWriter() = default;
    ~TiffWriter() override;
    TiffWriter(const TiffWriter &) = delete;
    TiffWriter &operator=(const TiffWriter &) = delete;

    [[nodiscard]] bool
    open(const std::string &path, int width, int height, int channels, std::string *error) override;
    [[nodiscard]] bool writeRow(const std::uint8_t *pixels, std::string *error) override;
    [[nodiscard]] bool commit(std::string *error) override;
    const std::string &warning() const override { return mFile.warning(); }

    // libtiff's file access, on the SafeFile.
    std::int64_t readBytes(void *data, std::int64_t size);
    std::int64_t writeBytes(const void *data, std::int64_t size);
    std::uint64_t seek(std::uint64_t offset, int whence);
    std::uint64_t fileSize() const { return mFile.size(); }
    // Keeps libtiff's first message.
    void keepMessage(const std::string &message);

private:
    bool fail(std::string *error);
    void close();

    SafeFile mFile;
    std::string mPath;
    TIFF *mTiff = nullptr;
    std::uint64_t mPosition = 0;
    std::uint32_t mRow = 0;
    std::string mFailure;
};

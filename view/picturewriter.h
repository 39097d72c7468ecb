#pragma once

#include <cstdint>
#include <string>

// An image file written a row at a time, top row first, through a SafeFile: an encoder
// holds a row or so, whatever the picture's size, and the file replaces its target only
// when commit() succeeds (a failure, or a writer destroyed before commit, leaves the
// target as it was).
//
// Errors: each function returns false on failure and sets *error, when error is not null
// (it may be), to a sentence naming the file; after a failure the writer takes nothing more.
class PictureWriter
{
public:
    virtual ~PictureWriter() = default;

    // Starts `path`, a picture of width x height pixels of `channels` 8-bit samples each
    // (3: red, green, blue; 4: with alpha, where the format has it).
    [[nodiscard]] virtual bool
    open(const std::string &path, int width, int height, int channels, std::string *error) = 0;
    // The next row: width pixels of `channels` samples, left to right.
    [[nodiscard]] virtual bool writeRow(const std::uint8_t *pixels, std::string *error) = 0;
    // After the last row: finishes the file and puts it in its target's place.
    [[nodiscard]] virtual bool commit(std::string *error) = 0;
    // What a commit that succeeded could not keep (SafeFile::warning()), or empty.
    virtual const std::string &warning() const = 0;
};

#pragma once

#include "fileio/safefile.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// An animated GIF that loops forever, written frame by frame through a SafeFile: nothing
// replaces the target until commit() succeeds, and a failure or cancel() leaves any existing
// file as it was. Frames are pictures of lines of one colour over a background of another,
// antialiased: every pixel is one of the two or a blend of them, so one palette of 256 steps
// from the background to the line colour holds every frame, each pixel within half a step.
//
// Errors: each function with an `error` parameter returns false on failure and says why in
// *error (when given), naming the file.
class GifWriter
{
public:
    using Rgb = std::array<std::uint8_t, 3>;

    // A GIF larger than this is refused while it is written, as SVG's text is.
    static constexpr std::uint64_t maxBytes = std::uint64_t(256) << 20;
    // The longest side a GIF holds.
    static constexpr int maxSide = 65535;

    GifWriter() = default;
    ~GifWriter();
    GifWriter(const GifWriter &) = delete;
    GifWriter &operator=(const GifWriter &) = delete;

    // Starts a width x height animation whose frames each show for delayCentiseconds.
    [[nodiscard]] bool open(const std::string &path,
                            int width,
                            int height,
                            Rgb background,
                            Rgb line,
                            int delayCentiseconds,
                            std::string *error);
    // Starts the next frame, of the size given to open(); its rows follow.
    [[nodiscard]] bool beginFrame(std::string *error);
    // The frame's next row, top row first: width red, green, blue triples.
    [[nodiscard]] bool writeRow(const std::uint8_t *rgb, std::string *error);
    // Ends the animation and puts the file in place.
    [[nodiscard]] bool commit(std::string *error);
    // Drops the animation; the target stays as it was.
    void cancel();
    // What a commit that succeeded could not keep (SafeFile::warning()), or empty.
    const std::string &warning() const { return mFile.warning(); }

private:
    friend struct GifOutput;

    // Takes the bytes giflib hands over; false when they cannot be written.
    bool take(const std::uint8_t *bytes, int length);
    bool fail(std::string *error, const std::string &cause);
    // The cause of a failure that giflib reports with `code`.
    std::string cause(int code) const;
    void close();

    std::string mPath;
    SafeFile mFile;
    void *mGif = nullptr; // GifFileType
    int mWidth = 0;
    int mHeight = 0;
    int mDelay = 0;
    int mRowsLeft = 0; // of the frame begun
    Rgb mBackground{};
    Rgb mLine{};
    std::array<double, 3> mSpan{}; // from the background to the line colour
    double mScale = 0.0;           // palette steps per unit along mSpan
    std::vector<std::uint8_t> mRow;
    std::uint64_t mWritten = 0;
    bool mTooLarge = false;
    std::string mWriteFailure; // the file's reason, once a write failed
};

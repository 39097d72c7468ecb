#pragma once

#include <cstdint>
#include <vector>

// A captured picture: planar RGB, 8 bits per sample, no alpha. Each plane holds `height`
// rows of `stride` bytes (width rounded up to a multiple of 8), top row first; the first
// `width` bytes of a row are its pixels, left to right.
struct lsImageRep
{
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<std::uint8_t> red;
    std::vector<std::uint8_t> green;
    std::vector<std::uint8_t> blue;

    bool isNull() const { return width <= 0 || height <= 0; }
};

// The stride of a plane row for a width: the width rounded up to a multiple of 8.
int lsImageStride(int width);

// Writes row y of the picture to rgb as width red, green, blue triples, left to right.
void interleaveRow(const lsImageRep &image, int y, std::uint8_t *rgb);

// The pixels of a picture with a transparent background, as 8-bit RGBA, from the same
// picture drawn over black and over white (width RGB pixels each): where the two differ the
// lines let the background through.
void transparentRow(const std::uint8_t *overBlack,
                    const std::uint8_t *overWhite,
                    int width,
                    std::uint8_t *rgba);

// Copies `rows` rows of `rowLength` bytes from src to dst in reverse row order (row i of
// src becomes row rows - 1 - i of dst). The buffers must not overlap.
void reversePixelBuffer(const unsigned char *src, unsigned char *dst, int rowLength, int rows);

// Reads the width x height rectangle at the origin of the current context's bound colour
// buffer. Returns a null image for an empty size or when the memory cannot be had.
// Leaves the pack alignment as it found it.
lsImageRep captureImageRep(int width, int height);

// The picture of width x height 0xAARRGGBB words, top row first (a frame of FrameThread).
// Returns a null image when the buffer is too small or the memory cannot be had.
lsImageRep imageRepFromArgb32(const std::vector<std::uint32_t> &argb, int width, int height);

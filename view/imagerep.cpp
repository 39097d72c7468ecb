#include "view/imagerep.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

int lsImageStride(int width)
{
    return width % 8 ? width + 8 - width % 8 : width;
}

void interleaveRow(const lsImageRep &image, int y, std::uint8_t *rgb)
{
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(image.stride);
    for (int x = 0; x < image.width; ++x, rgb += 3) {
        rgb[0] = image.red[row + x];
        rgb[1] = image.green[row + x];
        rgb[2] = image.blue[row + x];
    }
}

void transparentRow(const std::uint8_t *overBlack,
                    const std::uint8_t *overWhite,
                    int width,
                    std::uint8_t *rgba)
{
    // Over black a pixel is colour x coverage; over white it is that plus 1 - coverage.
    for (int x = 0; x < width; ++x, overBlack += 3, overWhite += 3, rgba += 4) {
        int uncovered = 0;
        for (int c = 0; c < 3; ++c)
            uncovered += overWhite[c] - overBlack[c];
        const int alpha = std::clamp(255 - (uncovered + 1) / 3, 0, 255);
        for (int c = 0; c < 3; ++c)
            rgba[c] =
                    alpha == 0
                            ? 0
                            : std::uint8_t(std::min(255, (overBlack[c] * 255 + alpha / 2) / alpha));
        rgba[3] = std::uint8_t(alpha);
    }
}

void reversePixelBuffer(const unsigned char *src, unsigned char *dst, int rowLength, int rows)
{
    const std::size_t n = static_cast<std::size_t>(rowLength);
    for (int i = 0; i < rows; ++i)
        std::memcpy(dst + static_cast<std::size_t>(rows - 1 - i) * n,
                    src + static_cast<std::size_t>(i) * n, n);
}

lsImageRep captureImageRep(int width, int height)
{
    if (width <= 0 || height <= 0 || width > INT_MAX - 8)
        return {};
    lsImageRep image;
    const int stride = lsImageStride(width);
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> scratch;
    try {
        image.red.resize(size);
        image.green.resize(size);
        image.blue.resize(size);
        scratch.resize(size);
    } catch (const std::bad_alloc &) {
        return {};
    }

    // An alignment of 8 makes every row the read-back delivers exactly `stride` bytes long.
    // Put back what was there: other code reading pixels from this context relies on it.
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    const struct
    {
        GLenum channel;
        std::vector<std::uint8_t> &plane;
    } planes[] = { { GL_RED, image.red }, { GL_GREEN, image.green }, { GL_BLUE, image.blue } };
    for (const auto &p : planes) {
        glReadPixels(0, 0, width, height, p.channel, GL_UNSIGNED_BYTE, scratch.data());
        // GL delivers the bottom row first.
        reversePixelBuffer(scratch.data(), p.plane.data(), stride, height);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);

    image.width = width;
    image.height = height;
    image.stride = stride;
    return image;
}

lsImageRep imageRepFromArgb32(const std::vector<std::uint32_t> &argb, int width, int height)
{
    if (width <= 0 || height <= 0 || width > INT_MAX - 8
        || argb.size() / static_cast<std::size_t>(width) < static_cast<std::size_t>(height))
        return {};
    lsImageRep image;
    const int stride = lsImageStride(width);
    const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    try {
        image.red.resize(size);
        image.green.resize(size);
        image.blue.resize(size);
    } catch (const std::bad_alloc &) {
        return {};
    }
    for (int y = 0; y < height; ++y) {
        const std::uint32_t *in = argb.data() + std::size_t(y) * std::size_t(width);
        const std::size_t row = std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < width; ++x) {
            image.red[row + x] = std::uint8_t(in[x] >> 16);
            image.green[row + x] = std::uint8_t(in[x] >> 8);
            image.blue[row + x] = std::uint8_t(in[x]);
        }
    }
    image.width = width;
    image.height = height;
    image.stride = stride;
    return image;
}

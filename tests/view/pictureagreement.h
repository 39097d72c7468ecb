#pragma once

// How closely two pictures of one figure agree, for the view tests and benchmarks.

#include "view/imagerep.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace rendertest {

// The share of the pixels of a not in the background colour that have such a pixel of b
// at most one pixel away (1 when a has none).
inline double litWithinAPixel(const lsImageRep &a,
                              const lsImageRep &b,
                              std::array<std::uint8_t, 3> background = { 0, 0, 0 })
{
    const auto lit = [&](const lsImageRep &image, int x, int y) {
        const std::size_t i = static_cast<std::size_t>(y) * image.stride + x;
        return std::array<std::uint8_t, 3>{ image.red[i], image.green[i], image.blue[i] }
               != background;
    };
    long count = 0, near = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (!lit(a, x, y))
                continue;
            ++count;
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    found = nx >= 0 && ny >= 0 && nx < b.width && ny < b.height && lit(b, nx, ny);
                }
            }
            near += found;
        }
    }
    return count > 0 ? double(near) / double(count) : 1.0;
}

// The pixels whose colours differ by more than `levels` in some channel.
inline long pixelsApart(const lsImageRep &a, const lsImageRep &b, int levels)
{
    long apart = 0;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * a.stride + x;
            const std::size_t j = static_cast<std::size_t>(y) * b.stride + x;
            apart += std::abs(a.red[i] - b.red[j]) > levels
                     || std::abs(a.green[i] - b.green[j]) > levels
                     || std::abs(a.blue[i] - b.blue[j]) > levels;
        }
    }
    return apart;
}

} // namespace rendertest

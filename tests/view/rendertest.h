#pragma once

#include "engine/interpreter.h"
#include "view/imagerep.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

// Helpers shared by the view tests.
namespace rendertest {

inline constexpr double degree = 3.141592653589793 / 180.0;

inline std::unique_ptr<lsRuleSet> rules(double angleDegrees)
{
    auto set = lsNewRuleSet();
    set->angle = angleDegrees * degree;
    return set;
}

inline std::shared_ptr<const lsGeometry> geometry(const lsRuleSet &set, std::string_view string)
{
    auto g = std::make_shared<lsGeometry>();
    EXPECT_TRUE(lsBuildGeometry(set, string, *g));
    return g;
}

inline std::array<std::uint8_t, 3> pixel(const lsImageRep &image, int x, int y)
{
    const std::size_t i = static_cast<std::size_t>(y) * image.stride + x;
    return { image.red[i], image.green[i], image.blue[i] };
}

// Pixels whose colour differs from the given one, with the box around them.
struct Coverage
{
    int count = 0;
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};

inline Coverage coverage(const lsImageRep &image, std::array<std::uint8_t, 3> background)
{
    Coverage c;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (pixel(image, x, y) == background)
                continue;
            ++c.count;
            c.left = std::min(c.left, x);
            c.right = std::max(c.right, x);
            c.top = std::min(c.top, y);
            c.bottom = std::max(c.bottom, y);
        }
    }
    return c;
}

// The pixel bytes of an image, padding excluded.
inline bool samePixels(const lsImageRep &a, const lsImageRep &b)
{
    if (a.width != b.width || a.height != b.height)
        return false;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (pixel(a, x, y) != pixel(b, x, y))
                return false;
    return true;
}

} // namespace rendertest

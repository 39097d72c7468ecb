#include "document/model/documentcolor.h"

#include "archive/archivevalue.h"

#include <algorithm>
#include <cmath>

using namespace sprig;

DocumentColor DocumentColor::calibratedRgb(float r, float g, float b, float a)
{
    DocumentColor color;
    color.components = { r, g, b, a };
    return color;
}

int DocumentColor::componentCount(Kind kind)
{
    return std::max(ArchiveColor::componentCount(static_cast<int>(kind)), 0);
}

std::array<double, 4> DocumentColor::rgba() const
{
    // Stored components are used as they are; only what is handed out is brought into 0-1.
    const auto c = [this](std::size_t i) {
        const double v = i < components.size() ? double(components[i]) : 0.0;
        return v > 0.0 ? std::min(v, 1.0) : 0.0; // NaN too becomes 0
    };
    switch (kind) {
    case Kind::CalibratedRgb:
    case Kind::DeviceRgb:
        return { c(0), c(1), c(2), c(3) };
    case Kind::CalibratedWhite:
    case Kind::DeviceWhite:
        return { c(0), c(0), c(0), c(1) };
    case Kind::DeviceCmyk: {
        const double k = 1.0 - c(3);
        return { (1.0 - c(0)) * k, (1.0 - c(1)) * k, (1.0 - c(2)) * k, c(4) };
    }
    case Kind::Named:
        break;
    }
    return fallback ? fallback->rgba() : std::array<double, 4>{ 0.0, 0.0, 0.0, 1.0 };
}

bool DocumentColor::operator==(const DocumentColor &other) const
{
    // A stored NaN is still the same component.
    const auto same = [](float a, float b) {
        return a == b || (std::isnan(a) && std::isnan(b));
    };
    if (kind != other.kind
        || !std::equal(components.begin(), components.end(), other.components.begin(),
                       other.components.end(), same)
        || catalog != other.catalog || name != other.name || bool(fallback) != bool(other.fallback))
        return false;
    return !fallback || *fallback == *other.fallback;
}

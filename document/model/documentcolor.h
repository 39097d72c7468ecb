#pragma once

// A document colour as it is archived: its kind and its 32-bit float components, kept exactly
// so that opening and saving a document does not change a colour (8 or 16 bits per channel, as
// widget toolkits keep them, would).

#include <array>
#include <memory>
#include <string>
#include <vector>

struct DocumentColor
{
    enum class Kind {
        CalibratedRgb = 1,   // red, green, blue, alpha
        DeviceRgb = 2,       // red, green, blue, alpha
        CalibratedWhite = 3, // white, alpha
        DeviceWhite = 4,     // white, alpha
        DeviceCmyk = 5,      // cyan, magenta, yellow, black, alpha
        Named = 6,           // catalog and name, shown as `fallback`
    };

    Kind kind = Kind::CalibratedRgb;
    // As many as the kind stores (none for Named).
    std::vector<float> components = { 1.0f, 1.0f, 1.0f, 1.0f };
    // Named: the catalog ("System"), the colour's name, and the colour it stood for when saved.
    std::string catalog;
    std::string name;
    std::shared_ptr<const DocumentColor> fallback;

    static DocumentColor calibratedRgb(float r, float g, float b, float a);
    static DocumentColor white() { return calibratedRgb(1.0f, 1.0f, 1.0f, 1.0f); }
    static DocumentColor black() { return calibratedRgb(0.0f, 0.0f, 0.0f, 1.0f); }

    // The number of components a colour of the kind stores (0 for Named).
    static int componentCount(Kind kind);

    // Red, green, blue, alpha within 0-1, converted from any kind (a named colour without a
    // fallback is opaque black).
    std::array<double, 4> rgba() const;

    // Same kind, components, names and fallback.
    bool operator==(const DocumentColor &other) const;
};

#pragma once

#include <cstdint>

// What a 3D model of a figure is made of, handed on in the order it is made. Vertices are
// numbered from 0 in the order they come; a polyline or triangle names vertices that came
// before it.
class ModelSink
{
public:
    virtual ~ModelSink() = default;

    virtual void vertex(double x, double y, double z) = 0;
    // The `count` vertices from `first` on, joined in order; a single one is a point.
    virtual void polyline(std::uint64_t first, std::uint64_t count) = 0;
    // Counter-clockwise seen from outside the solid.
    virtual void triangle(std::uint64_t a, std::uint64_t b, std::uint64_t c) = 0;
};

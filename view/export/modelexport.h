#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class lsCommandSource;
struct lsRuleSet;

// Figures as 3D models for other programs: Wavefront OBJ (text) or PLY (binary), in figure
// units, built from every vertex the turtle makes (a model has no pixels to reduce it to).
// Either the line strips as polylines, or closed tubes around them for printing.

enum class ModelFormat {
    Obj,
    Ply,
};

// A model grows with the figure's vertices, not with any picture; past this size an export is
// refused before anything is written, as SVG's is.
inline constexpr std::uint64_t kMaxModelBytes = std::uint64_t(256) << 20;

// The sides of a tube's cross-section.
inline constexpr int kTubeSides = 8;

// An OBJ line record holds at most this many vertices; a longer strip goes on in the next
// record from the vertex the last one ended at, so that no reader meets an endless line.
inline constexpr std::uint64_t kObjPolylineVertices = 4096;

struct ModelOptions
{
    ModelFormat format = ModelFormat::Obj;
    double tubeRadius = 0.0; // 0: polylines; more: closed tubes of this radius
    std::string name;        // the figure's, for the object name and a comment (UTF-8)
    int pass = 0;            // the pass shown, for the comment
    std::uint64_t maxBytes = kMaxModelBytes;
};

// What a model holds and its exact size in bytes, known before it is written.
struct ModelSize
{
    std::uint64_t vertices = 0;
    std::uint64_t polylines = 0; // strips of two vertices or more
    std::uint64_t points = 0;    // strips of one vertex (a branch that ends where it began)
    std::uint64_t edges = 0;     // segments of the polylines
    std::uint64_t triangles = 0;
    std::uint64_t bytes = 0; // past maxBytes: some size above it, where sizing stopped
    bool tooLarge = false;   // bytes passed maxBytes
    bool finite = true;      // every coordinate is a number (a step may grow past any)
};

// Cancellation and progress of the walks over the commands that make a model; either may
// be empty. progress hears the fraction done, from 0 to 1, on the calling thread.
struct ModelControl
{
    const std::atomic<bool> *cancel = nullptr;
    std::function<void(double fraction)> progress;
};

// Sizes the model of the figure that `commands` draw under `rules`. False when cancelled.
[[nodiscard]] bool measureModel(const lsRuleSet &rules,
                                lsCommandSource &commands,
                                const ModelOptions &options,
                                ModelSize &size,
                                const ModelControl &control = {});

// Writes the model through a SafeFile (a failure leaves any existing file as it was), after
// sizing it: past options.maxBytes it is refused with its size and the limit, and so is a
// figure whose coordinates are not all numbers. False on failure or cancellation, saying
// why in *error (when given), naming the file; on success *warning (when given) says what
// the file could not keep (SafeFile::warning()).
[[nodiscard]] bool writeModel(const lsRuleSet &rules,
                              lsCommandSource &commands,
                              const ModelOptions &options,
                              const std::string &path,
                              std::string *error,
                              const ModelControl &control = {},
                              std::string *warning = nullptr);

// "12,345 vertices in 678 polylines, 1.2 MiB": a model's size for a message.
std::string describeModelSize(const ModelSize &size);

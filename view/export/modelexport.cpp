#include "view/export/modelexport.h"

#include "engine/interpreter.h"
#include "fileio/safefile.h"
#include "view/export/decimaltext.h"
#include "view/export/modelsink.h"
#include "view/export/tubemesh.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

namespace {

// Passes the walk's strips on as polylines.
class StripSink
{
public:
    explicit StripSink(ModelSink &out)
        : mOut(out)
    { }
    void vertex(double x, double y, double z)
    {
        mOut.vertex(x, y, z);
        ++mNext;
    }
    void restart()
    {
        mOut.polyline(mFirst, mNext - mFirst);
        mFirst = mNext;
    }
    void finish() { restart(); }

private:
    ModelSink &mOut;
    std::uint64_t mNext = 0;
    std::uint64_t mFirst = 0;
};

// One walk over the commands, handing the model to `out`. False when it stopped early.
bool walkModel(const lsRuleSet &rules,
               lsCommandSource &commands,
               const ModelOptions &options,
               ModelSink &out)
{
    commands.rewind();
    if (options.tubeRadius > 0.0) {
        TubeMesh tubes(out, options.tubeRadius, kTubeSides);
        lsWalk(rules.angle, rules.step, commands, tubes);
        tubes.finish();
    } else {
        StripSink strips(out);
        lsWalk(rules.angle, rules.step, commands, strips);
        strips.finish();
    }
    return !commands.cancelled();
}

// Runs `walks` walks over the commands, stopping them when the caller cancels or when
// stop() is called, and telling the caller the fraction done across all of them.
class Walks
{
public:
    Walks(lsCommandSource &commands, const ModelControl &control, int walks)
        : mCommands(commands)
        , mControl(control)
        , mWalks(walks)
    {
        mCommands.watch(&mStop, [this](std::uint64_t done, std::uint64_t length) {
            if (mControl.cancel && mControl.cancel->load(std::memory_order_relaxed))
                mStop = true;
            if (mControl.progress && length > 0)
                mControl.progress((mDone + double(done) / double(length)) / mWalks);
        });
    }
    ~Walks() { mCommands.watch(nullptr, {}); }
    Walks(const Walks &) = delete;
    Walks &operator=(const Walks &) = delete;

    bool walk(const lsRuleSet &rules, const ModelOptions &options, ModelSink &out)
    {
        const bool complete = walkModel(rules, mCommands, options, out);
        ++mDone;
        return complete;
    }
    void stop() { mStop = true; }
    bool cancelled() const
    {
        return mControl.cancel && mControl.cancel->load(std::memory_order_relaxed);
    }

private:
    lsCommandSource &mCommands;
    const ModelControl &mControl;
    int mWalks;
    int mDone = 0;
    std::atomic<bool> mStop{ false };
};

// Counts what a model holds, and how far from the origin its vertices reach.
class ModelCounter final : public ModelSink
{
public:
    explicit ModelCounter(ModelSize &size)
        : mSize(size)
    { }
    void vertex(double x, double y, double z) override
    {
        ++mSize.vertices;
        reach = std::max({ reach, std::abs(x), std::abs(y), std::abs(z) });
        mSize.finite = mSize.finite && std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
    }
    void polyline(std::uint64_t, std::uint64_t count) override
    {
        ++(count > 1 ? mSize.polylines : mSize.points);
        mSize.edges += count - 1;
    }
    void triangle(std::uint64_t, std::uint64_t, std::uint64_t) override { ++mSize.triangles; }

    double reach = 0.0;

private:
    ModelSize &mSize;
};

// Bytes on their way to a file, or only counted. Past the limit it stops the walks.
class Output
{
public:
    Output(SafeFile *file, std::uint64_t limit, Walks &walks)
        : mFile(file)
        , mLimit(limit)
        , mWalks(walks)
    { }

    std::string text;

    // Hands the bytes on when there are enough of them, or all of them.
    void flush(bool all = false)
    {
        constexpr std::size_t chunk = std::size_t(1) << 20;
        if (text.size() < chunk && !all)
            return;
        mTotal += text.size();
        if (mTotal > mLimit) {
            mOver = true;
            mWalks.stop();
        } else if (mFile && !mFailed && !mFile->write(text.data(), text.size(), nullptr)) {
            mFailed = true; // the file keeps the reason for its commit
            mWalks.stop();
        }
        text.clear();
    }
    std::uint64_t total() const { return mTotal; }
    bool over() const { return mOver; }

private:
    SafeFile *mFile;
    std::uint64_t mLimit;
    Walks &mWalks;
    std::uint64_t mTotal = 0;
    bool mOver = false;
    bool mFailed = false;
};

void appendNumber(std::string &out, std::uint64_t n)
{
    out += std::to_string(n);
}

// Names and comments stay on their line.
std::string oneLine(const std::string &text)
{
    std::string line = text;
    std::replace_if(
            line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
            ' ');
    return line;
}

std::string madeBy()
{
    return std::string("made by Sprig ") + SPRIG_VERSION;
}

std::string contents(const ModelSize &size, const ModelOptions &options)
{
    std::string text = std::to_string(size.vertices) + " vertices, ";
    if (options.tubeRadius > 0.0) {
        text += std::to_string(size.triangles) + " triangles: tubes of radius ";
        appendDecimal(text, options.tubeRadius, 6);
        text += " around the line strips";
    } else {
        text += std::to_string(size.polylines) + " polylines, " + std::to_string(size.points)
                + " points";
    }
    return text + "; in figure units (the turtle's first step is 10)";
}

class ObjWriter final : public ModelSink
{
public:
    ObjWriter(Output &out, int decimals)
        : mOut(out)
        , mDecimals(decimals)
    { }

    void vertex(double x, double y, double z) override
    {
        std::string &t = mOut.text;
        t += 'v';
        for (const double c : { x, y, z }) {
            t += ' ';
            appendDecimal(t, c, mDecimals);
        }
        t += '\n';
        mOut.flush();
    }
    void polyline(std::uint64_t first, std::uint64_t count) override
    {
        std::string &t = mOut.text;
        if (count == 1) {
            t += "p ";
            appendNumber(t, first + 1);
            t += '\n';
        }
        // Records of at most kObjPolylineVertices, each from the vertex the last ended at.
        for (std::uint64_t start = 0; start + 1 < count; start += kObjPolylineVertices - 1) {
            const std::uint64_t end = std::min(count, start + kObjPolylineVertices);
            t += 'l';
            for (std::uint64_t i = start; i < end; ++i) {
                t += ' ';
                appendNumber(t, first + i + 1);
            }
            t += '\n';
            mOut.flush();
        }
        mOut.flush();
    }
    void triangle(std::uint64_t a, std::uint64_t b, std::uint64_t c) override
    {
        std::string &t = mOut.text;
        t += 'f';
        for (const std::uint64_t v : { a, b, c }) {
            t += ' ';
            appendNumber(t, v + 1);
        }
        t += '\n';
        mOut.flush();
    }

private:
    Output &mOut;
    int mDecimals;
};

// Binary PLY holds all vertices before any edge or face: it is written in two walks, one
// for each.
class PlyWriter final : public ModelSink
{
public:
    enum Part {
        Vertices,
        Elements,
    };
    PlyWriter(Output &out, Part part)
        : mOut(out)
        , mPart(part)
    { }

    void vertex(double x, double y, double z) override
    {
        if (mPart != Vertices)
            return;
        for (const double c : { x, y, z })
            append(std::bit_cast<std::uint64_t>(c), 8);
        mOut.flush();
    }
    void polyline(std::uint64_t first, std::uint64_t count) override
    {
        if (mPart != Elements)
            return;
        for (std::uint64_t i = first; i + 1 < first + count; ++i) {
            append(i, 4);
            append(i + 1, 4);
            mOut.flush();
        }
    }
    void triangle(std::uint64_t a, std::uint64_t b, std::uint64_t c) override
    {
        if (mPart != Elements)
            return;
        append(3, 1);
        for (const std::uint64_t v : { a, b, c })
            append(v, 4);
        mOut.flush();
    }

private:
    // Little-endian, whatever the machine's order.
    void append(std::uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            mOut.text += static_cast<char>((value >> (8 * i)) & 0xff);
    }

    Output &mOut;
    Part mPart;
};

std::string plyHeader(const ModelSize &size, const ModelOptions &options)
{
    std::string h = "ply\nformat binary_little_endian 1.0\n";
    h += "comment " + oneLine(options.name) + ", pass " + std::to_string(options.pass) + ", "
         + madeBy() + "\n";
    h += "comment " + contents(size, options) + "\n";
    h += "element vertex " + std::to_string(size.vertices)
         + "\nproperty double x\nproperty double y\nproperty double z\n";
    if (options.tubeRadius > 0.0)
        h += "element face " + std::to_string(size.triangles)
             + "\nproperty list uchar int vertex_indices\n";
    else
        h += "element edge " + std::to_string(size.edges)
             + "\nproperty int vertex1\nproperty int vertex2\n";
    return h + "end_header\n";
}

std::string objHeader(const ModelSize &size, const ModelOptions &options)
{
    return "# " + oneLine(options.name) + ", pass " + std::to_string(options.pass) + ", " + madeBy()
           + "\n# " + contents(size, options) + "\no " + oneLine(options.name) + "\n";
}

// Decimals enough for ten significant digits of the farthest coordinate: the walk's
// rounding noise (1e-15 where a turn of 90 degrees should give 0) goes, and a figure on a
// lattice is written on it exactly.
int objDecimals(double reach)
{
    if (!(reach > 0.0) || !std::isfinite(reach))
        return 0;
    return std::clamp(9 - int(std::floor(std::log10(reach))), 0, 17);
}

// The model's file, written in the walks after the counting one.
bool writeBody(const lsRuleSet &rules,
               const ModelOptions &options,
               const ModelSize &size,
               int decimals,
               Output &out,
               Walks &walks)
{
    if (options.format == ModelFormat::Obj) {
        out.text = objHeader(size, options);
        ObjWriter obj(out, decimals);
        if (!walks.walk(rules, options, obj))
            return false;
    } else {
        out.text = plyHeader(size, options);
        PlyWriter vertices(out, PlyWriter::Vertices);
        PlyWriter elements(out, PlyWriter::Elements);
        if (!walks.walk(rules, options, vertices) || !walks.walk(rules, options, elements))
            return false;
    }
    out.flush(true);
    return true;
}

// Sizes the model in walks of its own (counting, then for OBJ writing nowhere), so that
// the size is known exactly before the file is opened. False when cancelled.
bool sizeModel(const lsRuleSet &rules,
               const ModelOptions &options,
               ModelSize &size,
               int &decimals,
               Walks &walks)
{
    size = {};
    ModelCounter counter(size);
    if (!walks.walk(rules, options, counter))
        return false;
    decimals = objDecimals(counter.reach);
    Output counted(nullptr, options.maxBytes, walks);
    if (options.format == ModelFormat::Obj) {
        if (!writeBody(rules, options, size, decimals, counted, walks) && !counted.over())
            return false;
    } else {
        counted.text = plyHeader(size, options);
        counted.flush(true);
        const std::uint64_t elements =
                options.tubeRadius > 0.0 ? size.triangles * 13 : size.edges * 8;
        size.bytes = counted.total() + size.vertices * 24 + elements;
        size.tooLarge = size.bytes > options.maxBytes;
        return true;
    }
    size.bytes = counted.total();
    size.tooLarge = counted.over();
    return true;
}

// The walks a model takes: counting, then sizing (OBJ) and writing (one for OBJ, two for
// PLY).
int walksFor(const ModelOptions &options, bool writing)
{
    const int sizing = options.format == ModelFormat::Obj ? 2 : 1;
    return sizing + (writing ? (options.format == ModelFormat::Obj ? 1 : 2) : 0);
}

std::string formatName(ModelFormat format)
{
    return format == ModelFormat::Obj ? "OBJ" : "PLY";
}

std::string bytesText(std::uint64_t bytes)
{
    char text[32];
    if (bytes >= (std::uint64_t(1) << 20))
        std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / double(1 << 20));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", double(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

// 1234567 as "1,234,567".
std::string grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(std::size_t(i), 1, ',');
    return digits;
}

bool fail(std::string *error, const std::string &path, const std::string &cause)
{
    if (error)
        *error = path + ": " + cause;
    return false;
}

} // namespace

bool measureModel(const lsRuleSet &rules,
                  lsCommandSource &commands,
                  const ModelOptions &options,
                  ModelSize &size,
                  const ModelControl &control)
{
    Walks walks(commands, control, walksFor(options, false));
    int decimals = 0;
    return sizeModel(rules, options, size, decimals, walks);
}

bool writeModel(const lsRuleSet &rules,
                lsCommandSource &commands,
                const ModelOptions &options,
                const std::string &path,
                std::string *error,
                const ModelControl &control,
                std::string *warning)
{
    Walks walks(commands, control, walksFor(options, true));
    ModelSize size;
    int decimals = 0;
    if (!sizeModel(rules, options, size, decimals, walks))
        return fail(error, path, "the export was stopped");
    if (!size.finite)
        return fail(error, path,
                    "the figure's steps grow past what a number holds: a model cannot place "
                    "its vertices");
    if (size.tooLarge)
        return fail(error, path,
                    "the " + formatName(options.format) + " model would hold "
                            + describeModelSize(size) + ", past the " + bytesText(options.maxBytes)
                            + " a model may have; fewer passes make it smaller");

    std::string cause;
    SafeFile file;
    if (!file.open(path, &cause))
        return fail(error, path, cause);
    // The limit no longer applies: the size is known.
    Output out(&file, UINT64_MAX, walks);
    if (!writeBody(rules, options, size, decimals, out, walks) && walks.cancelled()) {
        file.cancel();
        return fail(error, path, "the export was stopped");
    }
    if (!file.commit(&cause))
        return fail(error, path, cause);
    if (warning)
        *warning = file.warning();
    return true;
}

std::string describeModelSize(const ModelSize &size)
{
    std::string text = grouped(size.vertices) + " vertices";
    if (size.triangles > 0)
        text += ", " + grouped(size.triangles) + " triangles";
    else
        text += " in " + grouped(size.polylines + size.points) + " strips";
    return text + ", " + (size.tooLarge ? "more than " : "") + bytesText(size.bytes);
}

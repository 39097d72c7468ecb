#include "document/model/documentfile.h"

#include "archive/archivereader.h"
#include "archive/archivewriter.h"
#include "figure/figurelimits.h"
#include "fileio/boundedread.h"
#include "fileio/safefile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <new>
#include <optional>

using namespace sprig;

namespace {

constexpr const char *kAxiom = "axiom";
constexpr const char *kRules = "rules";
constexpr const char *kLetters = "letters";
constexpr const char *kAngle = "angle";
constexpr const char *kIterations = "iterations";
constexpr const char *kColor = "color";
constexpr const char *kBgColor = "bgColor";

// The letter of a rule that has not been given one.
constexpr const char *kNoLetter = "?";

struct BadValue
{
    std::string message;
};

std::string quoted(const char *key)
{
    return std::string("\"") + key + "\"";
}

// Clamped into [lo, hi] (NaN to lo), then truncated to a whole number.
double wholeWithin(double v, double lo, double hi)
{
    if (!(v >= lo))
        return lo;
    return std::trunc(std::min(v, hi));
}

constexpr const char *notEnoughMemory = "there is not enough memory to read it";

std::string damagedAt(std::size_t offset, const std::string &what)
{
    return "it is damaged at byte " + std::to_string(offset) + " (" + what + ")";
}

// For an object of a known class whose layout is damaged, what is wrong where; else empty.
std::string damageOf(const ArchiveValue &v)
{
    if (v.kind != ArchiveValue::Kind::Object || v.damage.empty())
        return {};
    return damagedAt(v.offset, v.classes.front().name + ": " + v.damage);
}

// Refuses a value that is damaged, or else of the wrong kind (`wrongKind` says which).
[[noreturn]] void refuse(const ArchiveValue &v, std::string wrongKind)
{
    std::string damage = damageOf(v);
    throw BadValue{ damage.empty() ? std::move(wrongKind) : std::move(damage) };
}

const ArchiveValue *entry(const ArchiveValue &dict, const char *key)
{
    const ArchiveValue *v = dict.find(key);
    return v && v->kind != ArchiveValue::Kind::Nil ? v : nullptr;
}

std::optional<std::string> readText(const ArchiveValue &dict, const char *key)
{
    const ArchiveValue *v = entry(dict, key);
    if (!v)
        return std::nullopt;
    if (v->kind != ArchiveValue::Kind::String)
        refuse(*v, "its " + quoted(key) + " is not text");
    return v->text;
}

std::vector<std::string> readTextList(const ArchiveValue &dict, const char *key)
{
    std::vector<std::string> list;
    const ArchiveValue *v = entry(dict, key);
    if (!v)
        return list;
    if (v->kind != ArchiveValue::Kind::Array)
        refuse(*v, "its " + quoted(key) + " is not a list");
    list.reserve(v->items.size());
    for (const ArchiveValuePtr &item : v->items) {
        if (item->kind != ArchiveValue::Kind::String)
            refuse(*item, "its " + quoted(key) + " list holds something other than text");
        list.push_back(item->text);
    }
    return list;
}

double readNumber(const ArchiveValue &dict, const char *key)
{
    const ArchiveValue *v = entry(dict, key);
    if (!v)
        return 0.0;
    if (!v->isNumber())
        refuse(*v, "its " + quoted(key) + " is not a number");
    return v->toDouble();
}

bool isUnreadableColor(const ArchiveValue &v)
{
    return v.kind == ArchiveValue::Kind::Object
           && std::any_of(v.classes.begin(), v.classes.end(),
                          [](const ArchiveClass &c) { return c.name == "NSColor"; });
}

// nullopt for a colour object whose kind or layout is unknown.
std::optional<DocumentColor> toDocumentColor(const ArchiveValue &v)
{
    if (v.kind != ArchiveValue::Kind::Color)
        return std::nullopt;
    DocumentColor color;
    color.kind = static_cast<DocumentColor::Kind>(v.color.kind);
    color.components = v.color.components;
    if (v.color.kind == ArchiveColor::Named) {
        const auto &objects = v.color.objects;
        if (objects[0]->kind != ArchiveValue::Kind::String
            || objects[1]->kind != ArchiveValue::Kind::String)
            return std::nullopt;
        color.catalog = objects[0]->text;
        color.name = objects[1]->text;
        if (auto fallback = toDocumentColor(*objects[2]))
            color.fallback = std::make_shared<const DocumentColor>(std::move(*fallback));
    }
    return color;
}

DocumentColor readColor(const ArchiveValue &dict, const char *key, const DocumentColor &missing)
{
    const ArchiveValue *v = entry(dict, key);
    if (!v)
        return missing;
    if (auto color = toDocumentColor(*v))
        return *color;
    if (isUnreadableColor(*v))
        return missing;
    throw BadValue{ "its " + quoted(key) + " is not a colour" };
}

bool hasDocumentKey(const ArchiveValue &dict)
{
    for (const char *key : { kAxiom, kRules, kLetters, kAngle, kIterations, kColor, kBgColor })
        if (dict.find(key))
            return true;
    return false;
}

ArchiveValuePtr toArchive(const DocumentColor &color)
{
    ArchiveColor archived;
    archived.kind = static_cast<int>(color.kind);
    if (color.kind == DocumentColor::Kind::Named) {
        archived.objects = { ArchiveValue::string(color.catalog), ArchiveValue::string(color.name),
                             color.fallback ? toArchive(*color.fallback) : ArchiveValue::nil() };
        return ArchiveValue::colorValue(std::move(archived));
    }
    const int count = ArchiveColor::componentCount(archived.kind);
    if (count >= 0 && color.components.size() == static_cast<std::size_t>(count)) {
        archived.components = color.components;
    } else {
        // A colour built inconsistently is saved as what it shows.
        const auto rgba = color.rgba();
        archived.kind = ArchiveColor::CalibratedRgb;
        archived.components = { float(rgba[0]), float(rgba[1]), float(rgba[2]), float(rgba[3]) };
    }
    return ArchiveValue::colorValue(std::move(archived));
}

ArchiveValuePtr toArchive(const std::vector<std::string> &list)
{
    std::vector<ArchiveValuePtr> items;
    items.reserve(list.size());
    for (const std::string &text : list)
        items.push_back(ArchiveValue::string(text));
    return ArchiveValue::array(std::move(items), true);
}

std::int64_t truncatedInt(double v)
{
    if (!(v == v))
        return 0;
    return static_cast<std::int64_t>(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

} // namespace

bool readDocument(std::span<const std::uint8_t> bytes, DocumentData &out, std::string *error)
{
    const auto failWith = [error](std::string message) {
        if (error)
            *error = std::move(message);
        return false;
    };
    if (!looksLikeArchive(bytes))
        return failWith("it is not an L-system document");
    Archive archive;
    ArchiveError archiveError;
    if (!readArchive(bytes, archive, &archiveError))
        return failWith(archiveError.outOfMemory
                                ? std::string(notEnoughMemory)
                                : damagedAt(archiveError.offset, archiveError.message));
    const ArchiveValue *dict = archive.root();
    // An archive whose root is damaged inside its layout is a damaged file, not some other one.
    if (std::string damage = dict ? damageOf(*dict) : std::string(); !damage.empty())
        return failWith(damage);
    if (!dict || dict->kind != ArchiveValue::Kind::Dictionary || !hasDocumentKey(*dict))
        return failWith("it is not an L-system document");

    try {
        DocumentData doc; // its default colours take memory too
        doc.axiom = readText(*dict, kAxiom);
        doc.rules = readTextList(*dict, kRules);
        doc.letters = readTextList(*dict, kLetters);
        doc.angle = wholeWithin(readNumber(*dict, kAngle), kMinAngle, kMaxAngle);
        doc.iterations = static_cast<int>(
                wholeWithin(readNumber(*dict, kIterations), kMinIterations, kMaxIterations));
        doc.color = readColor(*dict, kColor, DocumentColor::white());
        doc.bgColor = readColor(*dict, kBgColor, DocumentColor::black());
        // Pad the shorter list so that every stored letter and rule survives.
        const std::size_t count = std::max(doc.letters.size(), doc.rules.size());
        doc.letters.resize(count, kNoLetter);
        doc.rules.resize(count);
        out = std::move(doc);
    } catch (const BadValue &bad) {
        return failWith(bad.message);
    } catch (const std::bad_alloc &) {
        return failWith(notEnoughMemory);
    }
    return true;
}

bool writeDocument(const DocumentData &doc, std::vector<std::uint8_t> &out, std::string *error)
{
    const auto failWith = [error](std::string message) {
        if (error)
            *error = std::move(message);
        return false;
    };
    ArchiveValuePtr dict;
    try {
        dict = ArchiveValue::dictionary(
                {
                        { kAxiom, ArchiveValue::string(doc.axiom.value_or(std::string())) },
                        { kRules, toArchive(doc.rules) },
                        { kLetters, toArchive(doc.letters) },
                        { kAngle, ArchiveValue::number(truncatedInt(doc.angle)) },
                        { kIterations, ArchiveValue::number(doc.iterations) },
                        { kColor, toArchive(doc.color) },
                        { kBgColor, toArchive(doc.bgColor) },
                },
                true);
    } catch (const std::bad_alloc &) {
        return failWith("there is not enough memory to archive it");
    }
    std::vector<std::uint8_t> bytes;
    if (!writeArchive(*dict, bytes, error))
        return false;
    // Whatever is written must open again: the same bound as reading, and the reader's own
    // limits (the values it takes), checked by reading it.
    if (bytes.size() > kMaxDocumentBytes)
        return failWith("it would take " + std::to_string(bytes.size()) + " bytes, more than the "
                        + std::to_string(kMaxDocumentBytes) + " ("
                        + std::to_string(kMaxDocumentBytes >> 20) + " MiB) a document may take");
    Archive archive;
    ArchiveError archiveError;
    if (!readArchive(bytes, archive, &archiveError))
        return failWith(archiveError.outOfMemory ? "there is not enough memory to archive it"
                                                 : "it holds more than a document may ("
                                                           + archiveError.message + ")");
    out = std::move(bytes);
    return true;
}

bool readDocumentFile(const std::string &path, DocumentData &out, std::string *error)
{
    const auto failWith = [&](const std::string &cause) {
        if (error)
            *error = "Cannot open \"" + std::filesystem::path(path).filename().string()
                     + "\": " + cause + ".";
        return false;
    };
    std::vector<std::uint8_t> bytes;
    std::string cause;
    if (!readFileBounded(path, kMaxDocumentBytes, bytes, &cause)
        || !readDocument(bytes, out, &cause))
        return failWith(cause);
    return true;
}

bool writeDocumentFile(const std::string &path,
                       const DocumentData &doc,
                       std::string *error,
                       std::string *warning)
{
    try {
        std::vector<std::uint8_t> bytes;
        return writeDocument(doc, bytes, error) && writeFileSafely(path, bytes, error, warning);
    } catch (const std::bad_alloc &) {
        // Naming the temporary file takes memory too; then nothing has been written.
        if (error)
            *error = "there is not enough memory to save it";
        return false;
    }
}

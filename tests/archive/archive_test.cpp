#include "archive/archivereader.h"
#include "archive/archivewriter.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace sprig;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

const fs::path kDataDir = fs::path(SPRIG_TEST_DATA_DIR) / "archive";

Bytes load(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes written(const ArchiveValue &root)
{
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(writeArchive(root, bytes, &error)) << error;
    return bytes;
}

Archive readOk(const Bytes &bytes)
{
    Archive archive;
    ArchiveError error;
    EXPECT_TRUE(readArchive(bytes, archive, &error)) << error.message << " at " << error.offset;
    return archive;
}

ArchiveError readFails(const Bytes &bytes)
{
    Archive archive;
    ArchiveError error;
    EXPECT_FALSE(readArchive(bytes, archive, &error));
    EXPECT_FALSE(error.message.empty());
    EXPECT_LE(error.offset, bytes.size());
    return error;
}

// A little-endian header followed by `body`.
Bytes archiveOf(const Bytes &body, bool bigEndian = false)
{
    const std::string signature = bigEndian ? "typedstream" : "streamtyped";
    Bytes bytes = { 4, 11 };
    bytes.insert(bytes.end(), signature.begin(), signature.end());
    const Bytes version = bigEndian ? Bytes{ 0x81, 0x03, 0xE8 } : Bytes{ 0x81, 0xE8, 0x03 };
    bytes.insert(bytes.end(), version.begin(), version.end());
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

// An archive of one group of type `types` whose values are `values`.
Bytes groupOf(const std::string &types, const Bytes &values = {})
{
    Bytes body = { 0x84 };
    if (types.size() > 127)
        body.insert(body.end(), { 0x81, static_cast<std::uint8_t>(types.size()),
                                  static_cast<std::uint8_t>(types.size() >> 8) });
    else
        body.push_back(static_cast<std::uint8_t>(types.size()));
    body.insert(body.end(), types.begin(), types.end());
    body.insert(body.end(), values.begin(), values.end());
    return archiveOf(body);
}

void append(Bytes &bytes, std::string_view text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// --- Comparison with the decoded .json beside each reference archive ---

const std::map<int, std::vector<std::string>> kComponentNames = {
    { 1, { "red", "green", "blue", "alpha" } },
    { 2, { "red", "green", "blue", "alpha" } },
    { 3, { "white", "alpha" } },
    { 4, { "white", "alpha" } },
    { 5, { "cyan", "magenta", "yellow", "black", "alpha" } },
};

void expectMatches(const Json &expected, const ArchiveValue &actual, const std::string &where)
{
    using K = ArchiveValue::Kind;
    SCOPED_TRACE(where);
    if (expected.is_null()) {
        EXPECT_EQ(actual.kind, K::Nil);
    } else if (expected.is_string()) {
        ASSERT_EQ(actual.kind, K::String);
        EXPECT_EQ(actual.text, expected.get<std::string>());
    } else if (expected.is_number_integer()) {
        ASSERT_TRUE(actual.isNumber());
        EXPECT_TRUE(actual.isIntegral());
        EXPECT_EQ(actual.integer, expected.get<std::int64_t>());
    } else if (expected.is_number()) {
        ASSERT_TRUE(actual.isNumber());
        // Stored as 32-bit floats are compared as such; the .json prints the shortest form.
        if (actual.type == 'f')
            EXPECT_EQ(static_cast<float>(actual.real), expected.get<float>());
        else
            EXPECT_EQ(actual.real, expected.get<double>());
    } else if (expected.is_array()) {
        ASSERT_EQ(actual.kind, K::Array);
        ASSERT_EQ(actual.items.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            expectMatches(expected[i], *actual.items[i], where + "[" + std::to_string(i) + "]");
    } else if (expected.contains("NSColor")) {
        ASSERT_EQ(actual.kind, K::Color);
        const ArchiveColor &color = actual.color;
        ASSERT_EQ(color.kind, expected["kind"].get<int>());
        if (color.kind == ArchiveColor::Named) {
            ASSERT_EQ(color.objects.size(), 3u);
            expectMatches(expected["catalog"], *color.objects[0], where + ".catalog");
            expectMatches(expected["name"], *color.objects[1], where + ".name");
            expectMatches(expected["color"], *color.objects[2], where + ".color");
            return;
        }
        const auto &names = kComponentNames.at(color.kind);
        ASSERT_EQ(color.components.size(), names.size());
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(color.components[i], expected[names[i]].get<float>()) << names[i];
    } else {
        ASSERT_EQ(actual.kind, K::Dictionary);
        ASSERT_EQ(actual.dictionarySize(), expected.size());
        std::size_t i = 0;
        for (const auto &[key, value] : expected.items()) {
            expectMatches(key, *actual.items[i], where + " key");
            expectMatches(value, *actual.items[i + 1], where + "." + key);
            i += 2;
        }
    }
}

std::vector<fs::path> referenceArchives()
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::recursive_directory_iterator(kDataDir))
        if (entry.is_regular_file() && entry.path().extension() != ".json"
            && entry.path().extension() != ".md")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class ReferenceArchive : public testing::TestWithParam<fs::path>
{ };

TEST_P(ReferenceArchive, DecodesToItsJson)
{
    const Bytes bytes = load(GetParam());
    const Archive archive = readOk(bytes);
    std::ifstream jsonFile(fs::path(GetParam()).replace_extension(".json"));
    const Json expected = Json::parse(jsonFile);
    EXPECT_EQ(archive.bigEndian, GetParam().filename() == "big_endian.lsd");
    EXPECT_EQ(archive.systemVersion, 1000);
    if (expected.is_object() && expected.contains("groups")) {
        ASSERT_EQ(archive.groups.size(), expected["groups"].size());
        for (std::size_t g = 0; g < archive.groups.size(); ++g) {
            const auto &values = archive.groups[g].values;
            ASSERT_EQ(values.size(), expected["groups"][g].size());
            for (std::size_t i = 0; i < values.size(); ++i)
                expectMatches(expected["groups"][g][i], *values[i], "group " + std::to_string(g));
        }
        return;
    }
    ASSERT_NE(archive.root(), nullptr);
    expectMatches(expected, *archive.root(), "root");
}

TEST_P(ReferenceArchive, EveryPrefixFailsCleanly)
{
    const Bytes bytes = load(GetParam());
    // Reading a prefix costs its length: the large archive is cut at every 17th byte instead.
    const std::size_t step = bytes.size() > 2048 ? 17 : 1;
    for (std::size_t n = 0; n < bytes.size(); n += step) {
        const Bytes prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        Archive archive;
        ArchiveError error;
        if (readArchive(prefix, archive, &error)) {
            // Only an archive of several groups can end after a whole group.
            EXPECT_EQ(GetParam().extension(), ".clr") << n;
            continue;
        }
        EXPECT_LE(error.offset, n);
        EXPECT_FALSE(error.message.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(All,
                         ReferenceArchive,
                         testing::ValuesIn(referenceArchives()),
                         [](const testing::TestParamInfo<fs::path> &info) {
                             std::string name = info.param.stem().string();
                             std::replace_if(
                                     name.begin(), name.end(),
                                     [](char c) { return !std::isalnum(c); }, '_');
                             return name + (info.param.extension() == ".clr" ? "_clr" : "");
                         });

// The writer follows the same rules as the writers of the reference archives, so every
// little-endian one-object archive is written back byte for byte (classes, mutability,
// sharing of strings, classes and the shared colour object).
TEST(ArchiveWriter, RewritesTheReferenceArchivesByteForByte)
{
    int rewritten = 0;
    for (const fs::path &path : referenceArchives()) {
        SCOPED_TRACE(path.filename());
        const Bytes bytes = load(path);
        const Archive archive = readOk(bytes);
        if (archive.root() && !archive.bigEndian) {
            EXPECT_EQ(written(*archive.root()), bytes);
            ++rewritten;
        }
    }
    EXPECT_EQ(rewritten, 25);
}

// Every byte replaced by values that are tags, references or lengths: any result is fine
// but a crash, a hang or an offset outside the input (the sanitizer build checks memory).
// The large archive is left to the fuzzer, to keep this quick.
TEST(ArchiveReader, CorruptedBytesGiveAValueOrAnError)
{
    for (const fs::path &path : referenceArchives()) {
        SCOPED_TRACE(path.filename());
        const Bytes bytes = load(path);
        if (bytes.size() > 2048)
            continue;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            for (std::uint8_t b :
                 { 0x00, 0x01, 0x7F, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x92, 0xFF }) {
                Bytes corrupted = bytes;
                corrupted[i] = b;
                Archive archive;
                ArchiveError error;
                if (!readArchive(corrupted, archive, &error)) {
                    ASSERT_LE(error.offset, corrupted.size()) << i;
                }
            }
        }
    }
}

TEST(ArchiveReader, BothByteOrdersGiveTheSameValues)
{
    const Archive big = readOk(load(kDataDir / "big_endian.lsd"));
    ASSERT_NE(big.root(), nullptr);
    // Written again little-endian, it reads back equal (the .json check covers the values).
    const Archive little = readOk(written(*big.root()));
    EXPECT_FALSE(little.bigEndian);
    EXPECT_EQ(written(*little.root()), written(*big.root()));
}

TEST(ArchiveReader, ReadsEveryNumberFormInBothByteOrders)
{
    // Group "ffdqi" inside an object-less archive: a REAL float and double, an INT64 and an INT32.
    struct Case
    {
        bool bigEndian;
        Bytes body;
    };
    const Case cases[] = {
        { false, { 0x84, 0x05, 'f',  'd',  'q',  'i',  's',  0x83, 0x00, 0x00, 0xC0, 0x3F, 0x83,
                   0,    0,    0,    0,    0,    0,    0xF8, 0x3F, 0x87, 0x00, 0xE4, 0x0B, 0x54,
                   0x02, 0x00, 0x00, 0x00, 0x82, 0x00, 0x00, 0x00, 0x80, 0x81, 0x01, 0x80 } },
        { true, { 0x84, 0x05, 'f',  'd',  'q',  'i',  's',  0x83, 0x3F, 0xC0, 0x00, 0x00, 0x83,
                  0x3F, 0xF8, 0,    0,    0,    0,    0,    0,    0x87, 0x00, 0x00, 0x00, 0x02,
                  0x54, 0x0B, 0xE4, 0x00, 0x82, 0x80, 0x00, 0x00, 0x00, 0x81, 0x80, 0x01 } },
    };
    for (const Case &c : cases) {
        const Archive archive = readOk(archiveOf(c.body, c.bigEndian));
        ASSERT_EQ(archive.groups.size(), 1u);
        const auto &v = archive.groups[0].values;
        ASSERT_EQ(v.size(), 5u);
        EXPECT_EQ(v[0]->real, 1.5);
        EXPECT_EQ(v[1]->real, 1.5);
        EXPECT_EQ(v[2]->integer, 10000000000);
        EXPECT_EQ(v[3]->integer, std::numeric_limits<std::int32_t>::min());
        EXPECT_EQ(v[4]->integer, -32767);
    }
}

TEST(ArchiveReader, UnsignedValuesKeepTheirBitPatternAtTheirWidth)
{
    const Archive archive = readOk(archiveOf({ 0x84, 0x03, 'I', 'S', 'C', 0xFD, 0xFF, 0xFE }));
    const auto &v = archive.groups[0].values;
    EXPECT_EQ(v[0]->integer, 0xFFFFFFFD);
    EXPECT_EQ(v[1]->integer, 0xFFFF);
    EXPECT_EQ(v[2]->integer, 0xFE);
}

TEST(ArchiveReader, RefusesHostileInputWithTheCauseAndOffset)
{
    constexpr std::size_t kDeepType = 20;
    struct Case
    {
        const char *name;
        Bytes bytes;
        const char *message;
        std::size_t offset;
    };
    Bytes deep = archiveOf({ 0x84, 0x01, '@' });
    for (int i = 0; i < kMaxArchiveDepth + 1; ++i)
        deep.insert(deep.end(), { 0x84, 0x84, 0x84, 0x01, 'A', 0x00, 0x85, 0x92 });
    Bytes longChain = archiveOf({ 0x84, 0x01, '@', 0x84 });
    for (int i = 0; i < kMaxArchiveClassChain + 1; ++i)
        longChain.insert(longChain.end(),
                         { 0x84, 0x84, 0x01, static_cast<std::uint8_t>('A' + i), 0x00 });
    longChain.push_back(0x85);
    std::string deepType;
    for (std::size_t i = 0; i < kDeepType; ++i)
        deepType += "{a=";
    deepType += 'i';
    deepType.append(kDeepType, '}');
    Bytes v3 = archiveOf({});
    v3[0] = 3;
    const std::vector<Case> cases = {
        { "empty", {}, "not a typedstream archive", 0 },
        { "text",
          { 'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!' },
          "not a typedstream",
          0 },
        { "old streamer", v3, "streamer version 3", 0 },
        { "length past end", archiveOf({ 0x84, 0x7F, '@' }), "runs past the end", 17 },
        { "negative length", archiveOf({ 0x84, 0x81, 0x00, 0x80 }), "negative length", 17 },
        { "missing string", archiveOf({ 0x95 }), "missing string", 16 },
        { "reference beyond any table",
          archiveOf({ 0x87, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F }), "missing string",
          16 },
        { "missing object", archiveOf({ 0x84, 0x01, '@', 0x99 }), "missing object", 19 },
        { "tag as a number", archiveOf({ 0x84, 0x01, 'i', 0x86 }), "unexpected byte 0x86", 19 },
        { "reserved tag", archiveOf({ 0x84, 0x01, 'i', 0x88 }), "unexpected byte 0x88", 19 },
        { "object in itself",
          archiveOf({ 0x84, 0x01, '@', 0x84, 0x84, 0x84, 0x01, 'A', 0x00, 0x85, 0x92, 0x92, 0x86 }),
          "contains itself", 27 },
        { "own superclass", archiveOf({ 0x84, 0x01, '#', 0x84, 0x84, 0x01, 'A', 0x00, 0x92 }),
          "own superclass", 24 },
        { "class where an object belongs",
          archiveOf({ 0x84, 0x01, '#', 0x84, 0x84, 0x01, 'A', 0x00, 0x85, 0x84, 0x01, '@', 0x92 }),
          "other than an object", 28 },
        { "object without class", archiveOf({ 0x84, 0x01, '@', 0x84, 0x85 }), "without a class",
          20 },
        { "deep nesting", deep, "nested more than", 19 + 8 * kMaxArchiveDepth },
        { "long class chain", longChain, "class chain longer", 20 + 5 * kMaxArchiveClassChain },
        { "unsupported type", groupOf("!"), "unsupported type", 16 },
        { "empty struct", groupOf("{a}"), "struct type without fields", 16 },
        { "empty elements", groupOf("[9[0c]]"), "empty elements", 16 },
        { "huge array", groupOf("[2147483648i]"), "too many elements", 16 },
        { "array past end", groupOf("[2147483647i]", { 1, 2, 3 }), "runs past the end", 31 },
        { "deep type", groupOf(deepType, { 1 }), "nested too deeply", 16 },
        { "many parts", groupOf(std::string(300, 'i')), "too many parts", 16 },
        { "truncated", archiveOf({ 0x84, 0x01, 'd', 0x83, 0x00 }), "ends in the middle", 21 },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const ArchiveError error = readFails(c.bytes);
        EXPECT_NE(error.message.find(c.message), std::string::npos) << error.message;
        EXPECT_EQ(error.offset, c.offset) << error.message;
    }
}

TEST(ArchiveReader, BoundsWhatSharedReferencesMaterialise)
{
    const ArchiveValuePtr text = ArchiveValue::string(std::string(64 << 10, 'x'));
    readOk(written(*ArchiveValue::array(std::vector(8, text))));

    const Bytes wide = written(*ArchiveValue::array(std::vector(64, text)));
    const ArchiveError wideError = readFails(wide);
    EXPECT_NE(wideError.message.find("expand to more than"), std::string::npos);
    EXPECT_GT(wideError.offset, std::size_t(64 << 10)); // at a reference, past the text

    // Each level refers twice to the one below: 2^40 copies of a few bytes.
    ArchiveValuePtr deep = ArchiveValue::string("leaf");
    for (int i = 0; i < 40; ++i)
        deep = ArchiveValue::array({ deep, deep });
    EXPECT_NE(readFails(written(*deep)).message.find("expand to more than"), std::string::npos);
}

TEST(ArchiveReader, ObjectsAtTheDepthLimitAreRead)
{
    ArchiveValuePtr value = ArchiveValue::string("leaf");
    for (int i = 1; i < kMaxArchiveDepth; ++i)
        value = ArchiveValue::array({ value });
    const Archive archive = readOk(written(*value));
    const ArchiveValue *v = archive.root();
    for (int i = 1; i < kMaxArchiveDepth; ++i)
        v = v->items.at(0).get();
    EXPECT_EQ(v->text, "leaf");
}

TEST(ArchiveReader, KeepsUnknownClassesAndMalformedKnownOnesAsGenericObjects)
{
    // An NSArray whose count disagrees with its elements is not taken as an array.
    Bytes bytes = archiveOf({ 0x84, 0x01, '@', 0x84, 0x84, 0x84, 0x07 });
    append(bytes, "NSArray");
    bytes.insert(bytes.end(), { 0x00, 0x85, 0x84, 0x01, 'i', 0x05, 0x86 });
    const Archive archive = readOk(bytes);
    ASSERT_EQ(archive.root()->kind, ArchiveValue::Kind::Object);
    EXPECT_EQ(archive.root()->classes, (std::vector<ArchiveClass>{ { "NSArray", 0 } }));
    ASSERT_EQ(archive.root()->groups.size(), 1u);
    EXPECT_EQ(archive.root()->groups[0].types, "i");
}

// --- Writer ---

TEST(ArchiveWriter, UsesTheSmallestIntegerForm)
{
    struct Case
    {
        std::int64_t value;
        Bytes encoded;
    };
    const Case cases[] = {
        { 0, { 0x00 } },
        { 127, { 0x7F } },
        { -110, { 0x92 } },
        { -111, { 0x81, 0x91, 0xFF } },
        { 128, { 0x81, 0x80, 0x00 } },
        { -32767, { 0x81, 0x01, 0x80 } },
        { -32768, { 0x82, 0x00, 0x80, 0xFF, 0xFF } },
        { 32768, { 0x82, 0x00, 0x80, 0x00, 0x00 } },
        { std::numeric_limits<std::int32_t>::max(), { 0x82, 0xFF, 0xFF, 0xFF, 0x7F } },
        { std::int64_t(1) << 32, { 0x87, 0, 0, 0, 0, 1, 0, 0, 0 } },
    };
    for (const Case &c : cases) {
        const Bytes bytes = written(*ArchiveValue::number(c.value, 'q'));
        // The value is the last thing before the object's end.
        const Bytes tail(bytes.end() - static_cast<std::ptrdiff_t>(c.encoded.size()) - 1,
                         bytes.end() - 1);
        EXPECT_EQ(tail, c.encoded) << c.value;
        EXPECT_EQ(readOk(bytes).root()->integer, c.value);
    }
}

TEST(ArchiveWriter, WritesIntegralFloatsAsIntegers)
{
    struct Case
    {
        double value;
        char type;
        std::size_t encodedSize; // of the value, before the object's end
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        { 1.0, 'f', 1 },
        { 960.0, 'd', 3 },
        { -0.0, 'd', 1 },
        { 0.5, 'f', 5 },
        { 0.1, 'd', 9 },
        { 2147483645.0, 'd', 5 },
        { 2147483646.0, 'd', 9 },
        { -2147483646.0, 'd', 5 },
        { -2147483647.0, 'd', 9 },
        { nan, 'd', 9 },
        { std::numeric_limits<double>::infinity(), 'f', 5 },
    };
    for (const Case &c : cases) {
        const Bytes bytes = written(*ArchiveValue::realNumber(c.value, c.type));
        const Bytes again = written(*readOk(bytes).root());
        EXPECT_EQ(again, bytes) << c.value;
        const Archive archive = readOk(bytes);
        const ArchiveValue &read = *archive.root();
        if (std::isnan(c.value)) {
            EXPECT_TRUE(std::isnan(read.real));
        } else {
            EXPECT_EQ(read.real, c.type == 'f' ? double(float(c.value)) : c.value);
        }
        const std::size_t headerAndClasses =
                written(*ArchiveValue::realNumber(0.0, c.type)).size() - 1;
        EXPECT_EQ(bytes.size() - headerAndClasses, c.encodedSize) << c.value;
    }
}

TEST(ArchiveWriter, RoundTripsEveryColourKind)
{
    std::vector<ArchiveColor> colors = {
        { ArchiveColor::CalibratedRgb, { 0.2f, 0.6f, 0.1f, 1.0f }, {} },
        { ArchiveColor::DeviceRgb, { 0.25f, 0.5f, 0.75f, 0.5f }, {} },
        { ArchiveColor::CalibratedWhite, { 0.5f, 1.0f }, {} },
        { ArchiveColor::DeviceWhite, { 0.3f, 0.0f }, {} },
        { ArchiveColor::DeviceCmyk, { 0.1f, 0.0f, 1.0f, 0.5f, 1.0f }, {} },
    };
    colors.push_back({ ArchiveColor::Named,
                       {},
                       { ArchiveValue::string("System"), ArchiveValue::string("textColor"),
                         ArchiveValue::colorValue(colors[2]) } });
    for (const ArchiveColor &color : colors) {
        const Archive archive = readOk(written(*ArchiveValue::colorValue(color)));
        const ArchiveValue &read = *archive.root();
        ASSERT_EQ(read.kind, ArchiveValue::Kind::Color);
        EXPECT_EQ(read.color.kind, color.kind);
        EXPECT_EQ(read.color.components, color.components);
        EXPECT_EQ(read.color.objects.size(), color.objects.size());
    }
}

TEST(ArchiveWriter, SharesAnObjectReachedTwiceAndWritesEqualCopiesTwice)
{
    const ArchiveValuePtr text = ArchiveValue::string("same");
    const Bytes shared = written(*ArchiveValue::array({ text, text }));
    const Bytes copies = written(*ArchiveValue::array({ text, ArchiveValue::string("same") }));
    EXPECT_LT(shared.size(), copies.size());
    const Archive archive = readOk(shared);
    EXPECT_EQ(archive.root()->items[0], archive.root()->items[1]);
    const Archive separate = readOk(copies);
    EXPECT_NE(separate.root()->items[0], separate.root()->items[1]);
}

TEST(ArchiveWriter, RefusesWhatItCannotReproduce)
{
    ArchiveValue object;
    object.kind = ArchiveValue::Kind::Object;
    const std::pair<ArchiveValuePtr, std::string> refused[] = {
        { std::make_shared<ArchiveValue>(object), "cannot archive a value of this kind" },
        { ArchiveValue::colorValue({ ArchiveColor::CalibratedRgb, { 1.0f }, {} }),
          "components do not match its kind" },
        { ArchiveValue::colorValue({ 9, {}, {} }), "components do not match its kind" },
        { ArchiveValue::number(1, 'x'), "cannot archive a number of type 'x'" },
        { ArchiveValue::array({ ArchiveValue::string("kept"), ArchiveValue::number(1, 'x') }),
          "type 'x'" },
    };
    for (const auto &[value, reason] : refused) {
        Bytes out{ 7 };
        std::string error;
        EXPECT_FALSE(writeArchive(*value, out, &error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(out, Bytes{ 7 }); // untouched
        EXPECT_FALSE(writeArchive(*value, out, nullptr));
    }
}

TEST(ArchiveWriter, NonAsciiTextIsStoredAsUtf8Bytes)
{
    const std::string text = "F\u2192\u00e9 \U0001F33F";
    const Bytes bytes = written(*ArchiveValue::string(text, true));
    const Archive archive = readOk(bytes);
    EXPECT_EQ(archive.root()->text, text);
    EXPECT_TRUE(archive.root()->isMutable);
    const Bytes utf8(text.begin(), text.end());
    EXPECT_NE(std::search(bytes.begin(), bytes.end(), utf8.begin(), utf8.end()), bytes.end());
}

} // namespace

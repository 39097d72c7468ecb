#include "document/model/documentfile.h"

#include "archive/archivereader.h"
#include "archive/archivewriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace sprig;

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

const fs::path kDataDir = fs::path(SPRIG_TEST_DATA_DIR) / "archive";

Bytes load(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

DocumentData readSample(const char *name)
{
    DocumentData doc;
    std::string error;
    EXPECT_TRUE(readDocument(load(kDataDir / name), doc, &error)) << name << ": " << error;
    return doc;
}

DocumentColor color(DocumentColor::Kind kind, std::vector<float> components)
{
    DocumentColor c;
    c.kind = kind;
    c.components = std::move(components);
    return c;
}

// The document of typical.lsd, built by hand.
DocumentData typical()
{
    DocumentData doc;
    doc.axiom = "F";
    doc.rules = { "F[+F]F[-F]F" };
    doc.letters = { "F" };
    doc.angle = 22;
    doc.iterations = 5;
    doc.color = DocumentColor::calibratedRgb(0.2f, 0.6f, 0.1f, 1.0f);
    doc.bgColor = DocumentColor::white();
    return doc;
}

// A document no file read can produce, to see that a failed read changes nothing.
DocumentData sentinel()
{
    DocumentData doc;
    doc.axiom = "sentinel";
    doc.letters = { "S" };
    doc.rules = { "SS" };
    doc.angle = 12.5;
    doc.iterations = 99;
    return doc;
}

Bytes archived(std::vector<std::pair<std::string, ArchiveValuePtr>> entries)
{
    Bytes bytes;
    EXPECT_TRUE(writeArchive(*ArchiveValue::dictionary(std::move(entries), true), bytes, nullptr));
    return bytes;
}

Bytes written(const DocumentData &doc)
{
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(writeDocument(doc, bytes, &error)) << error;
    return bytes;
}

TEST(DocumentFile, WritesTheReferenceFilesByteForByte)
{
    EXPECT_EQ(written(typical()), load(kDataDir / "typical.lsd"));
    // A new document saved at once: empty axiom field, empty lists, 0 degrees, 4 passes.
    DocumentData fresh;
    fresh.axiom = "";
    EXPECT_EQ(written(fresh), load(kDataDir / "new_document.lsd"));
    // A document without an axiom saves the empty text the field holds.
    EXPECT_EQ(written(DocumentData{}), load(kDataDir / "new_document.lsd"));
}

TEST(DocumentFile, ReadsTheReferenceFiles)
{
    EXPECT_EQ(readSample("typical.lsd"), typical());

    DocumentData big;
    big.axiom = "X";
    big.rules = { "F[+X][-X]FX", "FF" };
    big.letters = { "X", "F" };
    big.angle = 25;
    big.iterations = 6;
    big.color = DocumentColor::calibratedRgb(0.9f, 0.8f, 0.1f, 1.0f);
    big.bgColor = DocumentColor::calibratedRgb(0.05f, 0.1f, 0.2f, 1.0f);
    EXPECT_EQ(readSample("big_endian.lsd"), big);

    const DocumentData fresh = readSample("new_document.lsd");
    EXPECT_EQ(fresh.axiom, "");
    EXPECT_TRUE(fresh.letters.empty());
    EXPECT_TRUE(fresh.rules.empty());
    EXPECT_EQ(fresh.iterations, 4);
    EXPECT_EQ(fresh.color, DocumentColor::white());
    EXPECT_EQ(fresh.bgColor, DocumentColor::black());

    const DocumentData text = readSample("non_ascii.lsd");
    EXPECT_EQ(text.axiom, "F\u2192\u00e9");
    EXPECT_EQ(text.rules, (std::vector<std::string>{ "F+F\u2212F \U0001F33F", "\u00fc" }));
    EXPECT_EQ(text.letters, (std::vector<std::string>{ "F", "\u00e9" }));

    EXPECT_EQ(readSample("mutable_axiom.lsd").axiom, "F-F-F-F");
    const DocumentData shared = readSample("shared_color_object.lsd");
    EXPECT_EQ(shared.color, DocumentColor::calibratedRgb(0.3f, 0.3f, 0.3f, 1.0f));
    EXPECT_EQ(shared.bgColor, shared.color);
}

TEST(DocumentFile, MissingKeysGiveTheirDefaults)
{
    const DocumentData noAxiom = readSample("missing_axiom.lsd");
    EXPECT_FALSE(noAxiom.axiom.has_value());
    EXPECT_EQ(noAxiom.letters, (std::vector<std::string>{ "F" }));

    const DocumentData noColors = readSample("missing_colors.lsd");
    EXPECT_EQ(noColors.color, DocumentColor::white());
    EXPECT_EQ(noColors.bgColor, DocumentColor::black());
    EXPECT_EQ(noColors.angle, 60);

    // No lists, no count (0, brought up to 1), no colours.
    const DocumentData sparse = readSample("only_axiom_and_angle.lsd");
    EXPECT_EQ(sparse.axiom, "X");
    EXPECT_EQ(sparse.angle, 90);
    EXPECT_EQ(sparse.iterations, 1);
    EXPECT_TRUE(sparse.letters.empty());
    EXPECT_TRUE(sparse.rules.empty());
    EXPECT_EQ(sparse.color, DocumentColor::white());
    EXPECT_EQ(sparse.bgColor, DocumentColor::black());
}

TEST(DocumentFile, ClampsNumbersIntoTheControlsRanges)
{
    struct Case
    {
        ArchiveValuePtr angle;
        ArchiveValuePtr iterations;
        double expectedAngle;
        int expectedIterations;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        { ArchiveValue::number(720), ArchiveValue::number(100), 360, 7 },
        { ArchiveValue::number(-45), ArchiveValue::number(-3), 0, 1 },
        { ArchiveValue::number(360), ArchiveValue::number(7), 360, 7 },
        { ArchiveValue::number(0), ArchiveValue::number(1), 0, 1 },
        // Other number types: the integer part, as a saved angle is whole degrees.
        { ArchiveValue::realNumber(22.9), ArchiveValue::realNumber(3.7, 'f'), 22, 3 },
        { ArchiveValue::number(std::numeric_limits<std::int64_t>::max(), 'q'),
          ArchiveValue::number(static_cast<std::int64_t>(std::numeric_limits<std::uint64_t>::max()),
                               'Q'),
          360, 7 },
        { ArchiveValue::number(200, 'C'), ArchiveValue::number(5, 'c'), 200, 5 },
        // Not finite: NaN counts as the lowest value.
        { ArchiveValue::realNumber(nan), ArchiveValue::realNumber(nan), 0, 1 },
        { ArchiveValue::realNumber(inf), ArchiveValue::realNumber(-inf), 360, 1 },
    };
    for (const Case &c : cases) {
        DocumentData doc;
        std::string error;
        ASSERT_TRUE(readDocument(archived({ { "angle", c.angle }, { "iterations", c.iterations } }),
                                 doc, &error))
                << error;
        EXPECT_EQ(doc.angle, c.expectedAngle) << c.angle->toDouble();
        EXPECT_EQ(doc.iterations, c.expectedIterations) << c.iterations->toDouble();
    }
    const DocumentData big = readSample("out_of_range.lsd");
    EXPECT_EQ(big.angle, 360);
    EXPECT_EQ(big.iterations, 7);
    const DocumentData negative = readSample("negative_values.lsd");
    EXPECT_EQ(negative.angle, 0);
    EXPECT_EQ(negative.iterations, 1);
}

TEST(DocumentFile, UnequalListsArePaddedSoNothingIsLost)
{
    const DocumentData unequal = readSample("unequal_lists.lsd");
    EXPECT_EQ(unequal.letters, (std::vector<std::string>{ "F", "G" }));
    EXPECT_EQ(unequal.rules, (std::vector<std::string>{ "F+G", "" }));

    DocumentData doc;
    std::string error;
    const auto texts = [](std::vector<std::string> list) {
        std::vector<ArchiveValuePtr> items;
        for (auto &text : list)
            items.push_back(ArchiveValue::string(std::move(text)));
        return ArchiveValue::array(std::move(items), true);
    };
    ASSERT_TRUE(readDocument(
            archived({ { "rules", texts({ "F+F", "FF", "X" }) }, { "letters", texts({ "F" }) } }),
            doc, &error));
    EXPECT_EQ(doc.letters, (std::vector<std::string>{ "F", "?", "?" }));
    EXPECT_EQ(doc.rules, (std::vector<std::string>{ "F+F", "FF", "X" }));
    ASSERT_TRUE(readDocument(archived({ { "letters", texts({ "A", "B" }) } }), doc, &error));
    EXPECT_EQ(doc.letters, (std::vector<std::string>{ "A", "B" }));
    EXPECT_EQ(doc.rules, (std::vector<std::string>{ "", "" }));
}

TEST(DocumentFile, KeepsALetterOfSeveralCharactersWhole)
{
    const DocumentData doc = readSample("multichar_letters.lsd");
    EXPECT_EQ(doc.letters, (std::vector<std::string>{ "FX", "?", "G" }));
    EXPECT_EQ(doc.rules, (std::vector<std::string>{ "F+F", "Q", "GG" }));
}

TEST(DocumentFile, KeepsEveryColourKindAndConvertsItToRgba)
{
    const DocumentData rgbCmyk = readSample("device_rgb_and_cmyk.lsd");
    EXPECT_EQ(rgbCmyk.color, color(DocumentColor::Kind::DeviceRgb, { 0.25f, 0.5f, 0.75f, 1.0f }));
    EXPECT_EQ(rgbCmyk.color.rgba(), (std::array<double, 4>{ 0.25, 0.5, 0.75, 1.0 }));
    EXPECT_EQ(rgbCmyk.bgColor,
              color(DocumentColor::Kind::DeviceCmyk, { 0.1f, 0.0f, 1.0f, 0.5f, 1.0f }));
    const auto cmyk = rgbCmyk.bgColor.rgba();
    EXPECT_NEAR(cmyk[0], 0.45, 1e-6);
    EXPECT_EQ(cmyk[1], 0.5);
    EXPECT_EQ(cmyk[2], 0.0);
    EXPECT_EQ(cmyk[3], 1.0);

    const DocumentData named = readSample("white_and_named.lsd");
    EXPECT_EQ(named.color, color(DocumentColor::Kind::CalibratedWhite, { 0.5f, 1.0f }));
    EXPECT_EQ(named.color.rgba(), (std::array<double, 4>{ 0.5, 0.5, 0.5, 1.0 }));
    EXPECT_EQ(named.bgColor.kind, DocumentColor::Kind::Named);
    EXPECT_EQ(named.bgColor.catalog, "System");
    EXPECT_EQ(named.bgColor.name, "textBackgroundColor");
    ASSERT_NE(named.bgColor.fallback, nullptr);
    EXPECT_EQ(*named.bgColor.fallback, color(DocumentColor::Kind::CalibratedWhite, { 1.0f, 1.0f }));
    EXPECT_EQ(named.bgColor.rgba(), (std::array<double, 4>{ 1.0, 1.0, 1.0, 1.0 }));

    const DocumentData translucent = readSample("translucent.lsd");
    EXPECT_EQ(translucent.color.rgba(), (std::array<double, 4>{ 1.0, 0.0, 0.0, 0.5 }));
    EXPECT_EQ(translucent.bgColor.rgba(), (std::array<double, 4>{ 0.0, 0.0, 1.0, 0.0 }));

    EXPECT_EQ(color(DocumentColor::Kind::DeviceWhite, { 0.25f, 0.5f }).rgba(),
              (std::array<double, 4>{ 0.25, 0.25, 0.25, 0.5 }));
    // What is handed out for drawing stays within 0-1 whatever the file held.
    EXPECT_EQ(DocumentColor::calibratedRgb(2.0f, -1.0f, std::nanf(""), 1.0f).rgba(),
              (std::array<double, 4>{ 1.0, 0.0, 0.0, 1.0 }));
}

TEST(DocumentFile, RoundTripsDocuments)
{
    std::vector<DocumentData> docs;
    docs.push_back(typical());
    DocumentData text = typical();
    text.axiom = "F\u2192\u00e9 \U0001F33F";
    text.letters = { "\u00e9", "FX", "?" };
    text.rules = { "\u00fc", "", "F[+F]" };
    docs.push_back(text);
    DocumentData empty;
    empty.axiom = "";
    docs.push_back(empty);
    for (int kind = 1; kind <= 5; ++kind) {
        DocumentData c = typical();
        const std::vector<float> all = { 0.1f, 0.2f, 0.3f, 0.4f, 0.123456789f };
        c.color = color(DocumentColor::Kind(kind), std::vector<float>(all.end()
                                                                              - (kind <= 2   ? 4
                                                                                 : kind <= 4 ? 2
                                                                                             : 5),
                                                                      all.end()));
        docs.push_back(c);
    }
    DocumentData named = typical();
    named.bgColor.kind = DocumentColor::Kind::Named;
    named.bgColor.components.clear();
    named.bgColor.catalog = "System";
    named.bgColor.name = "controlColor";
    named.bgColor.fallback = std::make_shared<const DocumentColor>(
            color(DocumentColor::Kind::CalibratedWhite, { 0.9f, 1.0f }));
    docs.push_back(named);
    named.bgColor.fallback = nullptr;
    docs.push_back(named);

    for (const DocumentData &doc : docs) {
        DocumentData back;
        std::string error;
        ASSERT_TRUE(readDocument(written(doc), back, &error)) << error;
        EXPECT_EQ(back, doc);
    }
}

TEST(DocumentFile, SavesTheAngleInWholeDegrees)
{
    struct Case
    {
        double angle;
        double opened;
    };
    const Case cases[] = {
        { 22.5, 22 },   { 359.99, 359 },
        { 0.7, 0 },     { std::numeric_limits<double>::quiet_NaN(), 0 },
        { 1e300, 360 }, { -1e300, 0 },
    };
    for (const Case &c : cases) {
        DocumentData doc = typical();
        doc.angle = c.angle;
        DocumentData back;
        ASSERT_TRUE(readDocument(written(doc), back, nullptr));
        EXPECT_EQ(back.angle, c.opened) << c.angle;
    }
}

TEST(DocumentFile, AnInconsistentColourIsSavedAsWhatItShows)
{
    DocumentData doc = typical();
    doc.color = color(DocumentColor::Kind::DeviceCmyk, { 0.5f, 0.25f });
    DocumentData back;
    ASSERT_TRUE(readDocument(written(doc), back, nullptr));
    EXPECT_EQ(back.color, DocumentColor::calibratedRgb(0.5f, 0.75f, 1.0f, 0.0f));
}

TEST(DocumentFile, AColourOfAnUnknownKindGivesTheDefault)
{
    Bytes bytes = load(kDataDir / "typical.lsd");
    // The kind byte of "color": calibrated RGB (1) becomes a kind this format does not define.
    const Bytes kind1 = { 'c', 0x01, 0x84, 0x04, 'f', 'f', 'f', 'f' };
    const auto at = std::search(bytes.begin(), bytes.end(), kind1.begin(), kind1.end());
    ASSERT_NE(at, bytes.end());
    at[1] = 10;
    DocumentData doc;
    std::string error;
    ASSERT_TRUE(readDocument(bytes, doc, &error)) << error;
    EXPECT_EQ(doc.color, DocumentColor::white());
    EXPECT_EQ(doc.bgColor, DocumentColor::white());
}

TEST(DocumentFile, RefusesWhatIsNotADocumentAndLeavesTheOpenOneAlone)
{
    struct Case
    {
        const char *name;
        Bytes bytes;
        const char *message;
    };
    const ArchiveValuePtr text = ArchiveValue::string("F");
    // A dictionary's count raised by one: the archive reads, its layout does not.
    Bytes recounted = written(typical());
    const Bytes count = { 0x84, 0x01, 'i', 7 };
    const auto countAt =
            std::search(recounted.begin(), recounted.end(), count.begin(), count.end());
    ASSERT_NE(countAt, recounted.end());
    countAt[3] = 8;
    const std::vector<Case> cases = {
        { "dictionary count", recounted,
          "it is damaged at byte 19 (NSMutableDictionary: its count says 16 key and value objects "
          "but 14 groups follow)" },
        { "empty", {}, "it is not an L-system document" },
        { "text",
          { 'a', 'x', 'i', 'o', 'm', ' ', 'F', '\n', 'x', 'x', 'x', 'x', 'x', 'x' },
          "it is not an L-system document" },
        { "an array", load(kDataDir / "real" / "NSArrayWithNSString.typedstream"),
          "it is not an L-system document" },
        { "another dictionary", load(kDataDir / "real" / "NSDictionary.typedstream"),
          "it is not an L-system document" },
        { "a colour list", load(kDataDir / "real" / "apple-ii.clr"),
          "it is not an L-system document" },
        { "axiom not text", archived({ { "axiom", ArchiveValue::number(3) } }),
          "its \"axiom\" is not text" },
        { "rules not a list", archived({ { "rules", text } }), "its \"rules\" is not a list" },
        { "letters of numbers",
          archived({ { "letters", ArchiveValue::array({ ArchiveValue::number(1) }) } }),
          "its \"letters\" list holds something other than text" },
        { "angle as text", archived({ { "angle", ArchiveValue::string("22") } }),
          "its \"angle\" is not a number" },
        { "iterations as a list", archived({ { "iterations", ArchiveValue::array({}) } }),
          "its \"iterations\" is not a number" },
        { "colour as text", archived({ { "bgColor", text } }), "its \"bgColor\" is not a colour" },
    };
    for (const Case &c : cases) {
        DocumentData doc = sentinel();
        std::string error;
        EXPECT_FALSE(readDocument(c.bytes, doc, &error)) << c.name;
        EXPECT_EQ(error, c.message) << c.name;
        EXPECT_EQ(doc, sentinel()) << c.name;
    }
}

TEST(DocumentFile, EveryPrefixOfADocumentFailsCleanly)
{
    const Bytes bytes = load(kDataDir / "typical.lsd");
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        DocumentData doc = sentinel();
        std::string error;
        EXPECT_FALSE(readDocument(std::span(bytes.data(), n), doc, &error)) << n;
        EXPECT_EQ(doc, sentinel()) << n;
        if (n >= 13) {
            EXPECT_EQ(error.rfind("it is damaged at byte ", 0), 0u) << error;
        }
    }
}

class DocumentFileOnDisk : public testing::Test
{
protected:
    void SetUp() override
    {
        mDir = fs::temp_directory_path() / ("sprig-documentfile-" + std::to_string(::getpid()));
        fs::create_directories(mDir);
    }
    void TearDown() override { fs::remove_all(mDir); }

    fs::path write(const char *name, const Bytes &bytes)
    {
        const fs::path path = mDir / name;
        std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char *>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    fs::path mDir;
};

TEST_F(DocumentFileOnDisk, ReadsAFileAndNamesItInErrors)
{
    DocumentData doc;
    std::string error;
    ASSERT_TRUE(readDocumentFile((kDataDir / "typical.lsd").string(), doc, &error)) << error;
    EXPECT_EQ(doc, typical());

    Bytes damaged = load(kDataDir / "typical.lsd");
    damaged.resize(100);
    // Opened for reading, a FIFO without a writer would block until one comes.
    const fs::path fifo = mDir / "pipe.lsd";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const struct
    {
        fs::path path;
        std::string message;
    } cases[] = {
        { mDir / "missing.lsd", "Cannot open \"missing.lsd\": No such file or directory." },
        { mDir, "Cannot open \"" + mDir.filename().string() + "\": it is a folder." },
        { fifo, "Cannot open \"pipe.lsd\": it is a FIFO, not a regular file." },
        { "/dev/zero", "Cannot open \"zero\": it is a device, not a regular file." },
        { write("damaged.lsd", damaged), "Cannot open \"damaged.lsd\": it is damaged at byte 100 "
                                         "(the data ends in the middle of a value)." },
        { write("notes.lsd", { 'h', 'i' }),
          "Cannot open \"notes.lsd\": it is not an L-system document." },
        { write("huge.lsd", Bytes(kMaxDocumentBytes + 1)),
          "Cannot open \"huge.lsd\": it is larger than 16 MiB." },
    };
    for (const auto &c : cases) {
        doc = sentinel();
        EXPECT_FALSE(readDocumentFile(c.path.string(), doc, &error));
        EXPECT_EQ(error, c.message);
        EXPECT_EQ(doc, sentinel());
    }
}

// Whatever is written opens again: a document of exactly the bound is written and read, one
// byte more is refused before anything is written, and so is one holding more values than
// the archive reader takes, however small its file.
TEST_F(DocumentFileOnDisk, WritesOnlyWhatItReads)
{
    DocumentData doc = typical();
    doc.axiom = std::string(100000, 'F');
    const std::size_t fixed = written(doc).size() - doc.axiom->size();
    doc.axiom = std::string(kMaxDocumentBytes - fixed, 'F');
    const Bytes full = written(doc);
    ASSERT_EQ(full.size(), kMaxDocumentBytes);
    DocumentData back;
    std::string error;
    ASSERT_TRUE(readDocumentFile(write("full.lsd", full).string(), back, &error)) << error;
    EXPECT_EQ(back, doc);

    DocumentData manyRules = typical();
    manyRules.letters.assign(300000, "?");
    manyRules.rules.assign(300000, "");
    doc.axiom->push_back('+');
    const std::pair<DocumentData, std::string> refused[] = {
        { doc, "it would take 16777217 bytes, more than the 16777216 (16 MiB) a document may "
               "take" },
        { manyRules, "it holds more than a document may (more than 1048576 values)" },
    };
    for (const auto &[document, message] : refused) {
        Bytes out = { 1, 2, 3 };
        EXPECT_FALSE(writeDocument(document, out, &error));
        EXPECT_EQ(error, message);
        EXPECT_EQ(out, (Bytes{ 1, 2, 3 }));
    }
}

} // namespace

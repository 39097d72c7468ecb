#include "cli/documentjson.h"

#include "document/model/documentdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>

using namespace Qt::StringLiterals;
using namespace sprig;

namespace {

TEST(DocumentJson, RoundTripsEveryField)
{
    DocumentData document;
    document.axiom = "F-F\xc3\xa9"; // UTF-8 survives
    document.letters = { "F", "?", "XY" };
    document.rules = { "F+F", "", "[X]" };
    document.angle = 22.5;
    document.iterations = 6;
    document.color = DocumentColor::calibratedRgb(0.2f, 0.4f, 0.6f, 0.8f);
    document.bgColor = DocumentColor::calibratedRgb(1.0f, 0.5f, 0.0f, 1.0f);

    const QByteArray json = documentToJson(document);
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(object[u"color"_s].toArray()[0].toDouble(), 0.2); // shortest float text
    EXPECT_EQ(object[u"angle"_s].toDouble(), 22.5);

    DocumentData read;
    QString error;
    ASSERT_TRUE(documentFromJson(json, read, &error)) << error.toStdString();
    EXPECT_EQ(read.axiom, document.axiom);
    EXPECT_EQ(read.letters, document.letters);
    EXPECT_EQ(read.rules, document.rules);
    EXPECT_EQ(read.angle, document.angle);
    EXPECT_EQ(read.iterations, document.iterations);
    EXPECT_TRUE(read.color == document.color);
    EXPECT_TRUE(read.bgColor == document.bgColor);
}

TEST(DocumentJson, KeepsWhatPlainJsonCannotHold)
{
    DocumentData document;
    document.axiom = std::string("F\xff\0F", 4); // not UTF-8, and a NUL
    document.letters = { "\xc3" };
    document.rules = { "F+F" };
    document.color.kind = DocumentColor::Kind::DeviceCmyk;
    document.color.components = { 0.1f, std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(), 1.5f, -0.0f };
    DocumentColor fallback = DocumentColor::calibratedRgb(2.0f, 0.5f, 0.25f, 1.0f);
    document.bgColor.kind = DocumentColor::Kind::Named;
    document.bgColor.components.clear();
    document.bgColor.catalog = "System";
    document.bgColor.name = "\xfe";
    document.bgColor.fallback = std::make_shared<const DocumentColor>(fallback);

    const QByteArray json = documentToJson(document);
    DocumentData read;
    QString error;
    ASSERT_TRUE(documentFromJson(json, read, &error)) << error.toStdString() << json.data();
    EXPECT_EQ(read, document) << json.data();
    EXPECT_TRUE(json.contains(R"("bytes": "46ff0046")") || json.contains(R"("bytes":"46ff0046")"))
            << json.data();
    EXPECT_TRUE(json.contains("\"NaN\"")) << json.data();
}

TEST(DocumentJson, NullAxiomAndMissingKeys)
{
    DocumentData document;
    QString error;
    ASSERT_TRUE(documentFromJson(R"({"axiom": null, "color": [1, 0, 0]})", document, &error));
    EXPECT_FALSE(document.axiom.has_value());
    EXPECT_TRUE(document.color == DocumentColor::calibratedRgb(1, 0, 0, 1));
    EXPECT_TRUE(document.bgColor == DocumentColor::black());
    EXPECT_EQ(document.iterations, 4);
    EXPECT_EQ(documentToJson(document).contains("\"axiom\": null"), true);
}

TEST(DocumentJson, ClampsLikeTheWindow)
{
    DocumentData document;
    QString error;
    ASSERT_TRUE(documentFromJson(R"({"angle": 400.5, "iterations": 12})", document, &error));
    EXPECT_EQ(document.angle, 360.0);
    EXPECT_EQ(document.iterations, 7);
    ASSERT_TRUE(documentFromJson(R"({"angle": -3, "iterations": -2})", document, &error));
    EXPECT_EQ(document.angle, 0.0);
    EXPECT_EQ(document.iterations, 1);
}

struct BadJson
{
    const char *json;
    const char *message;
};

class DocumentJsonRefuses : public ::testing::TestWithParam<BadJson>
{ };

TEST_P(DocumentJsonRefuses, WithAMessageAndLeavesTheDocumentAlone)
{
    DocumentData document;
    document.axiom = "keep";
    QString error;
    EXPECT_FALSE(documentFromJson(GetParam().json, document, &error));
    EXPECT_TRUE(error.contains(QString::fromUtf8(GetParam().message))) << error.toStdString();
    EXPECT_EQ(document.axiom, "keep");
}

INSTANTIATE_TEST_SUITE_P(
        Cases,
        DocumentJsonRefuses,
        ::testing::Values(
                BadJson{ "{\"axiom\": \"F\"", "not valid JSON" },
                BadJson{ "[1, 2]", "one object" },
                BadJson{ R"({"axiom": 3})", "\"axiom\"" },
                BadJson{ R"({"colour": [1, 1, 1]})", "unknown key \"colour\"" },
                BadJson{ R"({"letters": ["F"], "rules": []})", "1 entries" },
                BadJson{ R"({"letters": [1]})", "\"letters\"" },
                BadJson{ R"({"color": [1, 2, 0]})", "from 0 to 1" },
                BadJson{ R"({"bgColor": [1, 1]})", "\"bgColor\"" },
                BadJson{ R"({"iterations": 2.5})", "whole number" },
                BadJson{ R"({"angle": "90"})", "\"angle\"" },
                BadJson{ R"({"rules": [{"bytes": "4g"}]})", "hex digits" },
                BadJson{ R"({"color": {"kind": "deviceRGB", "components": [1]}})", "4 components" },
                BadJson{ R"({"color": {"kind": "pattern"}})", "unknown colour kind" },
                // A key given twice, however it is spelt, would lose a value.
                BadJson{ R"({"angle": 90, "axiom": "F", "angle": 45})",
                         "\"angle\" is given twice" },
                BadJson{ R"({"axiom": "F", "a\u0078iom": "G"})", "\"axiom\" is given twice" },
                BadJson{ R"({"color": {"kind": "deviceRGB", "kind": "named"}})",
                         "\"kind\" is given twice" }));

} // namespace

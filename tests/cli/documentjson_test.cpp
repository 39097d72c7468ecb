#include "cli/documentjson.h"

#include "document/model/documentdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

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
        ::testing::Values(BadJson{ "{\"axiom\": \"F\"", "not valid JSON" },
                          BadJson{ "[1, 2]", "one object" },
                          BadJson{ R"({"axiom": 3})", "\"axiom\"" },
                          BadJson{ R"({"colour": [1, 1, 1]})", "unknown key \"colour\"" },
                          BadJson{ R"({"letters": ["F"], "rules": []})", "1 entries" },
                          BadJson{ R"({"letters": [1]})", "\"letters\"" },
                          BadJson{ R"({"color": [1, 2, 0]})", "from 0 to 1" },
                          BadJson{ R"({"bgColor": [1, 1]})", "\"bgColor\"" },
                          BadJson{ R"({"iterations": 2.5})", "whole number" },
                          BadJson{ R"({"angle": "90"})", "\"angle\"" }));

} // namespace

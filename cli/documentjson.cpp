#include "cli/documentjson.h"

#include "cli/commandline.h"
#include "document/model/documentdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Colour components are single precision in documents: print the shortest text that reads
// back as the same float, so 0.2 shows as 0.2 and not as its widened double.
double shortestFloat(double component)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, float(component)).ptr;
    double value = 0.0;
    std::from_chars(text, end, value);
    return value;
}

QJsonArray colorToJson(const DocumentColor &color)
{
    QJsonArray array;
    for (double c : color.rgba())
        array.append(shortestFloat(c));
    return array;
}

QJsonArray stringsToJson(const std::vector<std::string> &strings)
{
    QJsonArray array;
    for (const std::string &s : strings)
        array.append(QString::fromStdString(s));
    return array;
}

bool stringsFromJson(const QJsonValue &value,
                     const QString &key,
                     std::vector<std::string> &out,
                     QString *error)
{
    if (!value.isArray()) {
        *error = u"\"%1\" must be a list of strings"_s.arg(key);
        return false;
    }
    out.clear();
    for (const QJsonValue &item : value.toArray()) {
        if (!item.isString()) {
            *error = u"\"%1\" must be a list of strings"_s.arg(key);
            return false;
        }
        out.push_back(item.toString().toStdString());
    }
    return true;
}

bool colorFromJson(const QJsonValue &value, const QString &key, DocumentColor &out, QString *error)
{
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() < 3 || array.size() > 4) {
        *error = u"\"%1\" must be [red, green, blue] or [red, green, blue, alpha]"_s.arg(key);
        return false;
    }
    float c[4] = { 0.0f, 0.0f, 0.0f, 1.0f };
    for (qsizetype i = 0; i < array.size(); ++i) {
        const double v = array[i].toDouble(-1.0);
        if (!array[i].isDouble() || !(v >= 0.0 && v <= 1.0)) {
            *error = u"\"%1\" components must be numbers from 0 to 1"_s.arg(key);
            return false;
        }
        c[i] = float(v);
    }
    out = DocumentColor::calibratedRgb(c[0], c[1], c[2], c[3]);
    return true;
}

bool numberFromJson(const QJsonValue &value, const QString &key, double &out, QString *error)
{
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        *error = u"\"%1\" must be a number"_s.arg(key);
        return false;
    }
    out = value.toDouble();
    return true;
}

bool fail(QString *error, const QString &message)
{
    *error = message;
    return false;
}

} // namespace

QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{ value }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray documentToJson(const DocumentData &document)
{
    const std::pair<const char *, QJsonValue> entries[] = {
        { "axiom",
          document.axiom ? QJsonValue(QString::fromStdString(*document.axiom)) : QJsonValue() },
        { "letters", stringsToJson(document.letters) },
        { "rules", stringsToJson(document.rules) },
        { "angle", document.angle },
        { "iterations", document.iterations },
        { "color", colorToJson(document.color) },
        { "bgColor", colorToJson(document.bgColor) },
    };
    QByteArray json = "{\n";
    for (const auto &[key, value] : entries) {
        if (json.size() > 2)
            json += ",\n";
        json += "    \"" + QByteArray(key) + "\": " + jsonText(value);
    }
    return json + "\n}\n";
}

bool documentFromJson(const QByteArray &json, DocumentData &document, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(json, &parseError);
    if (parsed.isNull()) {
        *error = u"not valid JSON at byte %1: %2"_s.arg(parseError.offset)
                         .arg(parseError.errorString());
        return false;
    }
    if (!parsed.isObject()) {
        *error = u"the JSON must be one object"_s;
        return false;
    }

    DocumentData read;
    const QJsonObject object = parsed.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString &key = it.key();
        const QJsonValue &value = it.value();
        bool ok = true;
        if (key == u"axiom") {
            if (value.isString())
                read.axiom = value.toString().toStdString();
            else if (!value.isNull())
                ok = fail(error, u"\"axiom\" must be a string or null"_s);
        } else if (key == u"letters") {
            ok = stringsFromJson(value, key, read.letters, error);
        } else if (key == u"rules") {
            ok = stringsFromJson(value, key, read.rules, error);
        } else if (key == u"angle") {
            ok = numberFromJson(value, key, read.angle, error);
            read.angle = clampAngle(read.angle);
        } else if (key == u"iterations") {
            double n = 0.0;
            ok = numberFromJson(value, key, n, error);
            if (ok && n != std::trunc(n))
                ok = fail(error, u"\"iterations\" must be a whole number"_s);
            read.iterations = clampIterations(ok ? (long long)std::clamp(n, -1e9, 1e9) : 1);
        } else if (key == u"color") {
            ok = colorFromJson(value, key, read.color, error);
        } else if (key == u"bgColor") {
            ok = colorFromJson(value, key, read.bgColor, error);
        } else {
            ok = fail(error, u"unknown key \"%1\""_s.arg(key));
        }
        if (!ok)
            return false;
    }
    if (read.letters.size() != read.rules.size()) {
        *error = u"\"letters\" has %1 entries but \"rules\" has %2: they pair up one to one"_s
                         .arg(read.letters.size())
                         .arg(read.rules.size());
        return false;
    }
    document = std::move(read);
    return true;
}

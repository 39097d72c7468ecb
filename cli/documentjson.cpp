#include "cli/documentjson.h"

#include "document/model/documentdata.h"
#include "figure/figurelimits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace sprig {

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

bool fail(QString *error, const QString &message)
{
    *error = message;
    return false;
}

// Text that is valid UTF-8 is a JSON string; any other bytes, which a JSON string cannot hold,
// are written as {"bytes": "<hex>"}.
QJsonValue textToJson(const std::string &text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    const QString decoded = QString::fromUtf8(bytes);
    if (decoded.toUtf8() == bytes)
        return decoded;
    return QJsonObject{ { u"bytes"_s, QString::fromLatin1(bytes.toHex()) } };
}

bool textFromJson(const QJsonValue &value, const QString &key, std::string &out, QString *error)
{
    if (value.isString()) {
        out = value.toString().toStdString();
        return true;
    }
    const QJsonObject object = value.toObject();
    const QString hex = object.value(u"bytes"_s).toString();
    const QByteArray bytes = QByteArray::fromHex(hex.toLatin1());
    if (!value.isObject() || object.size() != 1 || bytes.toHex() != hex.toLower().toLatin1())
        return fail(error, u"\"%1\" must hold strings, or {\"bytes\": hex digits}"_s.arg(key));
    out = bytes.toStdString();
    return true;
}

QJsonArray stringsToJson(const std::vector<std::string> &strings)
{
    QJsonArray array;
    for (const std::string &s : strings)
        array.append(textToJson(s));
    return array;
}

bool stringsFromJson(const QJsonValue &value,
                     const QString &key,
                     std::vector<std::string> &out,
                     QString *error)
{
    if (!value.isArray())
        return fail(error, u"\"%1\" must be a list of strings"_s.arg(key));
    out.clear();
    for (const QJsonValue &item : value.toArray()) {
        std::string text;
        if (!textFromJson(item, key, text, error))
            return false;
        out.push_back(std::move(text));
    }
    return true;
}

constexpr std::pair<DocumentColor::Kind, const char *> kColorKinds[] = {
    { DocumentColor::Kind::CalibratedRgb, "calibratedRGB" },
    { DocumentColor::Kind::DeviceRgb, "deviceRGB" },
    { DocumentColor::Kind::CalibratedWhite, "calibratedWhite" },
    { DocumentColor::Kind::DeviceWhite, "deviceWhite" },
    { DocumentColor::Kind::DeviceCmyk, "deviceCMYK" },
    { DocumentColor::Kind::Named, "named" },
};

// JSON numbers cannot be NaN or infinite: those components are written as these strings.
QJsonValue componentToJson(float c)
{
    if (std::isnan(c))
        return u"NaN"_s;
    if (std::isinf(c))
        return c > 0 ? u"Infinity"_s : u"-Infinity"_s;
    return shortestFloat(c);
}

std::optional<float> componentFromJson(const QJsonValue &value)
{
    if (value.isDouble())
        return float(value.toDouble());
    const QString text = value.toString();
    if (text == u"NaN")
        return std::numeric_limits<float>::quiet_NaN();
    if (text == u"Infinity" || text == u"-Infinity")
        return text.startsWith(u'-') ? -std::numeric_limits<float>::infinity()
                                     : std::numeric_limits<float>::infinity();
    return std::nullopt;
}

// A calibrated RGB colour within 0-1, the common case, is [r, g, b, a]; any other colour keeps
// its kind and exact components: {"kind": "deviceCMYK", "components": [...]}, or for a named
// colour {"kind": "named", "catalog": ..., "name": ..., "fallback": colour or null}.
QJsonValue colorToJson(const DocumentColor &color)
{
    const bool plain = color.kind == DocumentColor::Kind::CalibratedRgb
                       && color.components.size() == 4
                       && std::all_of(color.components.begin(), color.components.end(),
                                      [](float c) { return c >= 0.0f && c <= 1.0f; });
    QJsonArray components;
    for (float c : color.components)
        components.append(componentToJson(c));
    if (plain)
        return components;
    QJsonObject object;
    for (const auto &[kind, name] : kColorKinds)
        if (kind == color.kind)
            object[u"kind"_s] = QString::fromLatin1(name);
    if (color.kind != DocumentColor::Kind::Named) {
        object[u"components"_s] = components;
        return object;
    }
    object[u"catalog"_s] = textToJson(color.catalog);
    object[u"name"_s] = textToJson(color.name);
    object[u"fallback"_s] = color.fallback ? colorToJson(*color.fallback) : QJsonValue();
    return object;
}

bool colorFromJson(const QJsonValue &value, const QString &key, DocumentColor &out, QString *error);

bool colorObjectFromJson(const QJsonObject &object,
                         const QString &key,
                         DocumentColor &out,
                         QString *error)
{
    const auto kind = std::find_if(std::begin(kColorKinds), std::end(kColorKinds), [&](auto k) {
        return object.value(u"kind"_s).toString() == QLatin1StringView(k.second);
    });
    if (kind == std::end(kColorKinds))
        return fail(error, u"\"%1\" has an unknown colour kind"_s.arg(key));
    DocumentColor color;
    color.kind = kind->first;
    color.components.clear();
    if (color.kind == DocumentColor::Kind::Named) {
        const QJsonValue fallback = object.value(u"fallback"_s);
        DocumentColor shown;
        if (!textFromJson(object.value(u"catalog"_s), key, color.catalog, error)
            || !textFromJson(object.value(u"name"_s), key, color.name, error)
            || (!fallback.isNull() && !colorFromJson(fallback, key, shown, error)))
            return false;
        if (!fallback.isNull())
            color.fallback = std::make_shared<const DocumentColor>(std::move(shown));
        out = std::move(color);
        return true;
    }
    const QJsonArray components = object.value(u"components"_s).toArray();
    const int count = DocumentColor::componentCount(color.kind);
    if (components.size() != count)
        return fail(error, u"\"%1\" must have %2 components for its kind"_s.arg(key).arg(count));
    for (const QJsonValue &c : components) {
        const auto component = componentFromJson(c);
        if (!component)
            return fail(error, u"\"%1\" components must be numbers"_s.arg(key));
        color.components.push_back(*component);
    }
    out = std::move(color);
    return true;
}

bool colorFromJson(const QJsonValue &value, const QString &key, DocumentColor &out, QString *error)
{
    if (value.isObject())
        return colorObjectFromJson(value.toObject(), key, out, error);
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() < 3 || array.size() > 4)
        return fail(error,
                    u"\"%1\" must be [red, green, blue] or [red, green, blue, alpha]"_s.arg(key));
    float c[4] = { 0.0f, 0.0f, 0.0f, 1.0f };
    for (qsizetype i = 0; i < array.size(); ++i) {
        const double v = array[i].toDouble(-1.0);
        if (!array[i].isDouble() || !(v >= 0.0 && v <= 1.0))
            return fail(error, u"\"%1\" components must be numbers from 0 to 1"_s.arg(key));
        c[i] = float(v);
    }
    out = DocumentColor::calibratedRgb(c[0], c[1], c[2], c[3]);
    return true;
}

// The first key that one object of the text gives twice, or an empty string. QJsonDocument
// keeps the last value of such a key without a word; the text is valid JSON (QJsonDocument
// read it), which keeps this scan to strings, brackets, commas and colons.
QString repeatedKey(const QByteArray &json)
{
    struct Open
    {
        bool object;
        bool key = true; // an object's next string is a key
        QSet<QString> keys;
    };
    std::vector<Open> open;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '{' || c == '[') {
            open.push_back({ c == '{', true, {} });
        } else if (c == '}' || c == ']') {
            open.pop_back();
        } else if (c == ',' || c == ':') {
            if (!open.empty() && open.back().object)
                open.back().key = c == ',';
        } else if (c == '"') {
            const qsizetype start = i;
            while (json[++i] != '"')
                i += json[i] == '\\';
            if (open.empty() || !open.back().object || !open.back().key)
                continue;
            // Decoded, so that an escaped spelling is the same key.
            const QByteArray text = json.mid(start, i + 1 - start);
            const QString key = text.contains('\\')
                                        ? QJsonDocument::fromJson('[' + text + ']')[0].toString()
                                        : QString::fromUtf8(text.mid(1, text.size() - 2));
            if (open.back().keys.contains(key))
                return key;
            open.back().keys.insert(key);
        }
    }
    return {};
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

} // namespace

QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{ value }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray documentToJson(const DocumentData &document)
{
    const std::pair<const char *, QJsonValue> entries[] = {
        { "axiom", document.axiom ? textToJson(*document.axiom) : QJsonValue() },
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
    if (const QString key = repeatedKey(json); !key.isEmpty()) {
        *error = u"the key \"%1\" is given twice: say which value counts"_s.arg(key);
        return false;
    }

    DocumentData read;
    const QJsonObject object = parsed.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString &key = it.key();
        const QJsonValue &value = it.value();
        bool ok = true;
        if (key == u"axiom") {
            if (!value.isNull())
                ok = textFromJson(value, key, read.axiom.emplace(), error);
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

} // namespace sprig

#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

#include <cstddef>

struct DocumentData;

namespace sprig {

// JSON files larger than this are not read: the JSON of the largest document (16 MiB) fits
// within it even with every byte escaped ("\u0001").
inline constexpr std::size_t kMaxDocumentJsonBytes = std::size_t(128) << 20;

// A document as JSON, for reading and writing documents in a text editor:
//   {"axiom": "F" (null when the document has none), "letters": ["F"], "rules": ["F+F"],
//    "angle": 90, "iterations": 4, "color": [r, g, b, a], "bgColor": [r, g, b, a]}
// Nothing a document holds is lost on the way: text that is not valid UTF-8 is written as
// {"bytes": "<hex>"}, and a colour other than calibrated RGB within 0-1 as an object with its
// kind and exact components, NaN and infinities as the strings "NaN", "Infinity",
// "-Infinity". A colour given as [r, g, b] or [r, g, b, a] is calibrated RGB.

// Keys in the order above, one per line.
QByteArray documentToJson(const DocumentData &document);

// The compact JSON text of one value (QJsonObject would sort the keys of a whole object).
QByteArray jsonText(const QJsonValue &value);

// Reads a document from JSON. Missing keys keep the values of a new document; iterations
// and angle are clamped to the window's ranges. Unknown keys, a key given twice in one
// object, values of the wrong type, colour components outside 0-1 and lists of different
// lengths are refused with a message
// (the document is then left untouched) in *error, which must not be null.
[[nodiscard]] bool documentFromJson(const QByteArray &json, DocumentData &document, QString *error);

} // namespace sprig

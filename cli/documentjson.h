#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

struct DocumentData;

// A document as JSON, for reading and writing documents in a text editor:
//   {"axiom": "F" (null when the document has none), "letters": ["F"], "rules": ["F+F"],
//    "angle": 90, "iterations": 4, "color": [r, g, b, a], "bgColor": [r, g, b, a]}
// Colours are RGBA in 0-1 after converting the stored colour kind; JSON colours become
// calibrated RGB colours.

// Keys in the order above, one per line.
QByteArray documentToJson(const DocumentData &document);

// The compact JSON text of one value (QJsonObject would sort the keys of a whole object).
QByteArray jsonText(const QJsonValue &value);

// Reads a document from JSON. Missing keys keep the values of a new document; iterations
// and angle are clamped to the window's ranges. Unknown keys, values of the wrong type,
// colour components outside 0-1 and lists of different lengths are refused with a message
// (the document is then left untouched).
bool documentFromJson(const QByteArray &json, DocumentData &document, QString *error);

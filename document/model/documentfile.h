#pragma once

// Conversion between DocumentData and the bytes of an .lsd file: one archived dictionary with
// the keys "axiom", "rules", "letters", "angle", "iterations", "color" and "bgColor".
//
// Reading:
// - A missing key gives: no axiom, empty lists, angle 0, iterations 0 (then clamped to 1),
//   opaque white line colour, opaque black background. Other keys are ignored.
// - "angle" and "iterations" may be stored as any kind of number. A number that is not finite
//   or lies outside the controls' ranges is brought into them: iterations to 1-7, the angle to
//   0-360 (NaN to 0); then the integer part is taken, as a saved angle is whole degrees.
// - A key holding the wrong kind of value (a list where text belongs, text where a number
//   belongs, ...) makes the file unreadable rather than silently replaced.
// - "letters" and "rules" of different lengths (or only one of them) are made equal by padding
//   the shorter list, so that no stored letter or rule is lost: a missing letter becomes "?"
//   (the letter of a rule not yet given one) and a missing rule becomes "" (a rule that erases
//   its letter, visible and editable in the table).
// - A colour of a kind that cannot be read (a pattern, or a colour space unknown here) gives the
//   key's default colour.
//
// Writing produces the entries in the order above, the axiom (empty when none) as NSString, the
// lists as NSMutableArray of NSString, the angle truncated toward zero and the iteration count as
// NSNumber "i", and the colours as NSColor of their own kind.

#include "document/model/documentdata.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Files larger than this are neither read nor written. Documents are a few kilobytes; the
// bound keeps absurd files out, never the user's own work, since nothing larger is written.
inline constexpr std::size_t kMaxDocumentBytes = std::size_t(16) << 20;

// Errors: every function here returns false on failure, leaves `out` untouched and sets
// `*error` when error is not null (it may be).

// The error says why in plain words, as a clause about the file: "it is not an L-system
// document", "it is damaged at byte 1234 (...)".
[[nodiscard]] bool
readDocument(std::span<const std::uint8_t> bytes, DocumentData &out, std::string *error);
// Writes only what readDocument reads back: a document whose file would be larger than
// kMaxDocumentBytes, or hold more than the archive reader takes, is refused. The error is a
// clause about the document: "it would take 16777300 bytes, more than the 16777216 (16 MiB)
// a document may take", "there is not enough memory to archive it".
[[nodiscard]] bool
writeDocument(const DocumentData &doc, std::vector<std::uint8_t> &out, std::string *error);

// As readDocument, for a file read with readFileBounded (only a regular file of at most
// kMaxDocumentBytes bytes); the error is a sentence naming the file and the cause:
// Cannot open "tree.lsd": it is damaged at byte 1234 (...).
[[nodiscard]] bool readDocumentFile(const std::string &path, DocumentData &out, std::string *error);
// Writes the document to a file through a SafeFile: on failure, any file there before keeps
// its bytes. The error is a clause about the document, as for writeDocument; *warning (may
// be null) says what of the old file could not be kept (its owner, other hard links).
[[nodiscard]] bool writeDocumentFile(const std::string &path,
                                     const DocumentData &doc,
                                     std::string *error,
                                     std::string *warning = nullptr);

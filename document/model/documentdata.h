#pragma once

// The data of an L-system document, as saved in an .lsd file.

#include "document/model/documentcolor.h"

#include <optional>
#include <string>
#include <vector>

struct DocumentData
{
    // None when the file had no "axiom" key: the window keeps its own content and the document
    // is not generated on opening.
    std::optional<std::string> axiom;
    // Entry i of both lists is rule i. Strings are UTF-8; a letter read from a file may have
    // several characters and is kept whole.
    std::vector<std::string> letters;
    std::vector<std::string> rules;
    double angle = 0.0; // degrees
    int iterations = 4;
    DocumentColor color = DocumentColor::white();
    DocumentColor bgColor = DocumentColor::black();

    bool operator==(const DocumentData &) const = default;
};

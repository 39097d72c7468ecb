// Feeds arbitrary bytes to the archive reader and the document reader. Beyond "no crash, no
// hang", it checks that whatever is read as a document is written in a form that reads back
// to the same document.
#include "archive/archivereader.h"
#include "document/model/documentfile.h"

#include <cstdlib>

using namespace sprig;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    Archive archive;
    ArchiveError error;
    const bool archiveRead = readArchive(bytes, archive, &error);
    if (!archiveRead && error.offset > size)
        std::abort();

    DocumentData doc;
    std::string message;
    if (!readDocument(bytes, doc, &message)) {
        if (message.empty())
            std::abort();
        return 0;
    }
    if (!archiveRead)
        std::abort();
    // A document without an axiom is saved with an empty one.
    doc.axiom = doc.axiom.value_or(std::string());
    DocumentData again;
    std::vector<std::uint8_t> written;
    if (!writeDocument(doc, written, &message) || !readDocument(written, again, &message)
        || !(again == doc))
        std::abort();
    return 0;
}

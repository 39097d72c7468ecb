#include "document/documentcommand.h"

DocumentCommand::DocumentCommand(const QString &text,
                                 std::function<void()> redo,
                                 std::function<void()> undo,
                                 int mergeId)
    : QUndoCommand(text)
    , mRedo(std::move(redo))
    , mUndo(std::move(undo))
    , mMergeId(mergeId)
{ }

bool DocumentCommand::mergeWith(const QUndoCommand *other)
{
    // QUndoStack only offers commands whose id() equals ours, so `other` is one of these.
    mRedo = static_cast<const DocumentCommand *>(other)->mRedo;
    return true;
}

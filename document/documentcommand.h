#pragma once

#include <QUndoCommand>

#include <functional>

// An undoable edit made of two actions: redo applies the new state, undo the old one.
// Commands with the same merge id (not -1) pushed one after another merge into one step: the
// first's undo with the last's redo (typing, dragging a slider).
class DocumentCommand : public QUndoCommand
{
public:
    DocumentCommand(const QString &text,
                    std::function<void()> redo,
                    std::function<void()> undo,
                    int mergeId = -1);

    void redo() override { mRedo(); }
    void undo() override { mUndo(); }
    int id() const override { return mMergeId; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    std::function<void()> mRedo;
    std::function<void()> mUndo;
    int mMergeId;
};

#pragma once

#include "figure/figurerules.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

class QUndoStack;

// The rules table's data: the document's two parallel lists, `letters` (one character each,
// "?" for a letter not yet given) and `rules` (replacement texts). Row i is rule i. Edits made
// in the table go through the undo stack; the other mutators are what the commands and file
// loading call. Rows that change nothing (a later rule for a letter, a letter that is not one)
// are greyed, with a tooltip that says why.
class RulesTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        LetterColumn = 0,
        RuleColumn = 1,
    };

    explicit RulesTableModel(QUndoStack *undoStack, QObject *parent = nullptr);

    // A letter cell's stored form: "?" for an empty value, otherwise its first character.
    static QString normalizeLetter(const QString &value);

    const QStringList &letters() const { return mLetters; }
    const QStringList &rules() const { return mRules; }

    // Replaces both lists (a file was read); the shorter list is padded so they stay parallel.
    void setRules(const QStringList &letters, const QStringList &rules);
    void insertRule(int row, const QString &letter, const QString &rule);
    void removeRule(int row);
    // Moves rule `row` so that it becomes rule `to`; the rows between shift by one.
    void moveRule(int row, int to);
    void setCell(int row, int column, const QString &value);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Stores an edited cell as an undoable step (a letter normalised first).
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

private:
    // Works out which rows take effect, after the letters changed; showEffects repaints them.
    void updateEffects();
    void showEffects();
    QString toolTip(const QModelIndex &index) const;

    QUndoStack *mUndoStack;
    QStringList mLetters;
    QStringList mRules;
    std::vector<RuleEffect> mEffects;
};

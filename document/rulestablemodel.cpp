#include "document/rulestablemodel.h"

#include "document/documentcommand.h"

#include <QUndoStack>

RulesTableModel::RulesTableModel(QUndoStack *undoStack, QObject *parent)
    : QAbstractTableModel(parent)
    , mUndoStack(undoStack)
{ }

QString RulesTableModel::normalizeLetter(const QString &value)
{
    if (value.isEmpty())
        return QStringLiteral("?");
    // One character is one code point: a surrogate pair stays whole.
    const int length = value.at(0).isHighSurrogate() && value.size() > 1 ? 2 : 1;
    return value.left(length);
}

void RulesTableModel::setRules(const QStringList &letters, const QStringList &rules)
{
    beginResetModel();
    mLetters = letters;
    mRules = rules;
    while (mLetters.size() < mRules.size())
        mLetters.append(QStringLiteral("?"));
    while (mRules.size() < mLetters.size())
        mRules.append(QString());
    endResetModel();
}

void RulesTableModel::insertRule(int row, const QString &letter, const QString &rule)
{
    beginInsertRows({}, row, row);
    mLetters.insert(row, letter);
    mRules.insert(row, rule);
    endInsertRows();
}

void RulesTableModel::removeRule(int row)
{
    beginRemoveRows({}, row, row);
    mLetters.removeAt(row);
    mRules.removeAt(row);
    endRemoveRows();
}

void RulesTableModel::setCell(int row, int column, const QString &value)
{
    (column == LetterColumn ? mLetters : mRules)[row] = value;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed);
}

int RulesTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(mLetters.size());
}

int RulesTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant RulesTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return index.column() == LetterColumn ? mLetters.at(index.row()) : mRules.at(index.row());
}

QVariant RulesTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == LetterColumn ? tr("Letter") : tr("Rule");
}

Qt::ItemFlags RulesTableModel::flags(const QModelIndex &index) const
{
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool RulesTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const int row = index.row();
    const int column = index.column();
    const QString stored =
            column == LetterColumn ? normalizeLetter(value.toString()) : value.toString();
    const QString previous = data(index, Qt::EditRole).toString();
    if (stored == previous) {
        // Nothing changes, but the cell must show the stored form, not what was typed.
        emit dataChanged(index, index);
        return true;
    }
    mUndoStack->push(new DocumentCommand(
            column == LetterColumn ? tr("Edit Letter") : tr("Edit Rule"),
            [this, row, column, stored] { setCell(row, column, stored); },
            [this, row, column, previous] { setCell(row, column, previous); }));
    return true;
}

#include "document/rulestablemodel.h"

#include "document/documentcommand.h"

#include <QGuiApplication>
#include <QPalette>
#include <QUndoStack>

namespace {

// A tooltip shows a long rule whole, folded into lines; past this it stops and gives the length.
constexpr qsizetype toolTipLineLength = 80;
constexpr qsizetype toolTipMaxLines = 40;

QString foldedRule(const QString &rule)
{
    QStringList lines;
    for (qsizetype at = 0; at < rule.size() && lines.size() < toolTipMaxLines;
         at += toolTipLineLength)
        lines.append(rule.mid(at, toolTipLineLength));
    QString text = lines.join(u'\n');
    if (rule.size() > toolTipLineLength * toolTipMaxLines)
        text += RulesTableModel::tr("\u2026 (%n characters in all)", nullptr, int(rule.size()));
    return text;
}

} // namespace

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
    updateEffects();
    endResetModel();
}

void RulesTableModel::insertRule(int row, const QString &letter, const QString &rule)
{
    beginInsertRows({}, row, row);
    mLetters.insert(row, letter);
    mRules.insert(row, rule);
    updateEffects();
    endInsertRows();
    showEffects();
}

void RulesTableModel::removeRule(int row)
{
    beginRemoveRows({}, row, row);
    mLetters.removeAt(row);
    mRules.removeAt(row);
    updateEffects();
    endRemoveRows();
    showEffects();
}

void RulesTableModel::moveRule(int row, int to)
{
    if (row == to)
        return;
    // beginMoveRows names the row the moved one goes before, counted before the move.
    beginMoveRows({}, row, row, {}, to > row ? to + 1 : to);
    mLetters.move(row, to);
    mRules.move(row, to);
    updateEffects();
    endMoveRows();
    showEffects();
}

void RulesTableModel::updateEffects()
{
    std::vector<std::string> letters;
    letters.reserve(std::size_t(mLetters.size()));
    for (const QString &letter : std::as_const(mLetters))
        letters.push_back(letter.toStdString());
    mEffects = ruleEffects(letters);
}

void RulesTableModel::showEffects()
{
    // One letter can change the effect of any later row: all rows repaint (tables are short).
    if (!mLetters.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                         { Qt::ForegroundRole, Qt::ToolTipRole });
}

void RulesTableModel::setCell(int row, int column, const QString &value)
{
    (column == LetterColumn ? mLetters : mRules)[row] = value;
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed);
    if (column == LetterColumn) {
        updateEffects();
        showEffects();
    }
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
    if (!index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == LetterColumn ? mLetters.at(index.row()) : mRules.at(index.row());
    case Qt::ForegroundRole:
        if (mEffects.at(std::size_t(index.row())).kind == RuleEffect::Rewrites)
            return {};
        return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    case Qt::ToolTipRole:
        return toolTip(index);
    default:
        return {};
    }
}

QString RulesTableModel::toolTip(const QModelIndex &index) const
{
    QStringList parts;
    const QString &rule = mRules.at(index.row());
    if (index.column() == RuleColumn && !rule.isEmpty())
        parts.append(foldedRule(rule));
    const RuleEffect &effect = mEffects.at(std::size_t(index.row()));
    const QString &letter = mLetters.at(index.row());
    if (effect.kind == RuleEffect::NotALetter)
        parts.append(tr("This rule has no effect: \u201c%1\u201d is not a letter. Only the "
                        "letters A\u2013Z and a\u2013z are rewritten.")
                             .arg(letter));
    else if (effect.kind == RuleEffect::Shadowed)
        parts.append(tr("This rule has no effect: rule %1 already rewrites \u201c%2\u201d, and "
                        "only the first rule for a letter counts.")
                             .arg(effect.earlierRow + 1)
                             .arg(letter));
    return parts.join(QStringLiteral("\n\n"));
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

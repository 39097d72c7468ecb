#pragma once

#include <QStyledItemDelegate>

// The rules table's cell editor: the default one, without the line edit's 32,767-character
// limit, so that a long rule is edited whole instead of cut when its cell is committed.
class RuleCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent,
                          const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
};

#include "document/rulecelldelegate.h"

#include <QLineEdit>

#include <climits>

QWidget *RuleCellDelegate::createEditor(QWidget *parent,
                                        const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setMaxLength(INT_MAX);
    return editor;
}

// Painting the editor's parameter grids in its own colours around the grid's own delegate.
#include "profiles/profile_grid_look.h"

#include "profiles/value_list_editor.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyledItemDelegate>

namespace segmora {
namespace {

// Paints by ProfileCellLook and hands editing to the delegate the grid came with, so that
// picking from a list and typing keep working exactly as the grid defines them.
class ProfileCellDelegate : public QStyledItemDelegate {
public:
    ProfileCellDelegate(TValueListEditor* grid, QAbstractItemDelegate* inner)
        : QStyledItemDelegate(grid), m_grid(grid), m_inner(inner) {
        // The inner delegate commits a pick on its own; the grid listens to this one only.
        connect(inner, &QAbstractItemDelegate::commitData, this,
                &QAbstractItemDelegate::commitData);
        connect(inner, &QAbstractItemDelegate::closeEditor, this,
                &QAbstractItemDelegate::closeEditor);
        connect(inner, &QAbstractItemDelegate::sizeHintChanged, this,
                &QAbstractItemDelegate::sizeHintChanged);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell(option);
        initStyleOption(&cell, index);
        cell.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        const CellLook look =
            ProfileCellLook(*m_grid, index.row(), index.column(), m_grid->hasFocus());
        cell.backgroundBrush = look.background;
        cell.palette.setColor(QPalette::Text, look.text);
        const QWidget* widget = cell.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        return m_inner ? m_inner->createEditor(parent, option, index)
                       : QStyledItemDelegate::createEditor(parent, option, index);
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (m_inner)
            m_inner->setEditorData(editor, index);
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (m_inner)
            m_inner->setModelData(editor, model, index);
        else
            QStyledItemDelegate::setModelData(editor, model, index);
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
        if (m_inner)
            m_inner->updateEditorGeometry(editor, option, index);
        else
            QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return m_inner ? m_inner->sizeHint(option, index)
                       : QStyledItemDelegate::sizeHint(option, index);
    }

private:
    TValueListEditor* m_grid;
    QPointer<QAbstractItemDelegate> m_inner;
};

} // namespace

CellLook ProfileCellLook(const TValueListEditor& grid, int row, int column, bool gridHasFocus) {
    const QPalette& palette = grid.palette();
    if (column == 1) {
        const bool silver = grid.isReadOnly(row) && !grid.hasPickList(row);
        return {silver ? kReadOnlyText : palette.color(QPalette::Text),
                palette.color(QPalette::Base)};
    }
    if (row == grid.currentRow()) {
        if (gridHasFocus)
            return {palette.color(QPalette::HighlightedText), kFocusedNameBackground};
        return {palette.color(QPalette::Text), palette.color(QPalette::Base)};
    }
    return {palette.color(QPalette::ButtonText), palette.color(QPalette::Button)};
}

void InstallProfileCellLook(TValueListEditor* grid) {
    grid->setItemDelegate(new ProfileCellDelegate(grid, grid->itemDelegate()));
    QObject::connect(grid, &QTableWidget::currentCellChanged, grid,
                     [grid](int row, int column, int, int) {
                         if (row >= 0 && column == 0)
                             grid->setCurrentCell(row, 1);
                     });
}

} // namespace segmora

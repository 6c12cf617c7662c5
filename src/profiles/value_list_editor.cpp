// The key/value parameter grid with read-only rows and pick lists.
#include "profiles/value_list_editor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QStyledItemDelegate>

namespace segmora {
namespace {

constexpr int kReadOnlyRole = Qt::UserRole;
constexpr int kPickListRole = Qt::UserRole + 1;

// A row with a pick list is edited through a combo box that offers its choices only; other rows
// use the ordinary line edit (the value cell is not editable at all when the row is read-only).
class PickListDelegate : public QStyledItemDelegate {
public:
    explicit PickListDelegate(TValueListEditor* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const QStringList choices = m_grid->pickList(index.row());
        if (choices.isEmpty())
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* combo = new QComboBox(parent);
        combo->setEditable(false);
        combo->addItems(choices);
        // A pick is the whole edit: commit it at once instead of waiting for the focus to go.
        connect(combo, &QComboBox::activated, this, [this, combo] {
            auto* self = const_cast<PickListDelegate*>(this);
            emit self->commitData(combo);
            emit self->closeEditor(combo);
        });
        return combo;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            combo->setCurrentIndex(combo->findText(index.data().toString(), Qt::MatchFixedString));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* combo = qobject_cast<QComboBox*>(editor)) {
            if (combo->currentIndex() >= 0)
                model->setData(index, combo->currentText());
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    TValueListEditor* m_grid;
};

} // namespace

TValueListEditor::TValueListEditor(QWidget* parent) : QTableWidget(0, 2, parent) {
    // The headers stay hidden on screen; assistive technology reads the columns by these names
    // and each row by its parameter.
    setHorizontalHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Value")});
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(17);
    setColumnWidth(0, 160);
    setColumnWidth(1, 200);
    horizontalHeader()->setStretchLastSection(true);
    setShowGrid(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setItemDelegate(new PickListDelegate(this));
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 1)
            emit valueChanged(item->row());
    });
}

void TValueListEditor::clearRows() {
    setRowCount(0);
}

int TValueListEditor::appendRow(const QString& key, const QString& value, bool readOnly) {
    const int row = rowCount();
    const QSignalBlocker blocker(this);
    insertRow(row);
    auto* keyItem = new QTableWidgetItem(key);
    keyItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    keyItem->setData(kReadOnlyRole, readOnly);
    setItem(row, 0, keyItem);
    setVerticalHeaderItem(row, new QTableWidgetItem(key));
    auto* valueItem = new QTableWidgetItem(value);
    // A screen reader tells which parameter a value belongs to.
    valueItem->setData(Qt::AccessibleDescriptionRole, key);
    setItem(row, 1, valueItem);
    setReadOnly(row, readOnly);
    return row;
}

void TValueListEditor::setPickList(int row, const QStringList& choices) {
    QTableWidgetItem* keyItem = item(row, 0);
    if (!keyItem)
        return;
    keyItem->setData(kPickListRole, choices);
    setReadOnly(row, isReadOnly(row));
}

QStringList TValueListEditor::pickList(int row) const {
    const QTableWidgetItem* keyItem = item(row, 0);
    return keyItem ? keyItem->data(kPickListRole).toStringList() : QStringList();
}

void TValueListEditor::setReadOnly(int row, bool readOnly) {
    QTableWidgetItem* keyItem = item(row, 0);
    if (!keyItem)
        return;
    const QSignalBlocker blocker(this);
    keyItem->setData(kReadOnlyRole, readOnly);
    // A pick list stays pickable on a read-only row: only typing is ruled out there.
    const bool editable = hasPickList(row) || !readOnly;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable)
        flags |= Qt::ItemIsEditable;
    ensureValueItem(row)->setFlags(flags);
}

bool TValueListEditor::isReadOnly(int row) const {
    const QTableWidgetItem* keyItem = item(row, 0);
    return keyItem && keyItem->data(kReadOnlyRole).toBool();
}

int TValueListEditor::findRow(const QString& key) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (keyAt(row).compare(key, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

QString TValueListEditor::keyAt(int row) const {
    const QTableWidgetItem* keyItem = item(row, 0);
    return keyItem ? keyItem->text() : QString();
}

QString TValueListEditor::valueAt(int row) const {
    const QTableWidgetItem* valueItem = item(row, 1);
    return valueItem ? valueItem->text() : QString();
}

void TValueListEditor::setValueAt(int row, const QString& value) {
    if (row < 0 || row >= rowCount())
        return;
    ensureValueItem(row)->setText(value);
}

QString TValueListEditor::value(const QString& key) const {
    return valueAt(findRow(key));
}

bool TValueListEditor::setValue(const QString& key, const QString& value) {
    const int row = findRow(key);
    if (row < 0)
        return false;
    setValueAt(row, value);
    return true;
}

QString TValueListEditor::currentKey() const {
    return keyAt(currentRow());
}

QTableWidgetItem* TValueListEditor::ensureValueItem(int row) {
    QTableWidgetItem* valueItem = item(row, 1);
    if (!valueItem) {
        valueItem = new QTableWidgetItem();
        valueItem->setData(Qt::AccessibleDescriptionRole, keyAt(row));
        setItem(row, 1, valueItem);
    }
    return valueItem;
}

} // namespace segmora

// TValueListEditor: the key/value grid that holds the live settings of one parameter group.
#pragma once

#include <QStringList>
#include <QTableWidget>

namespace segmora {

// Two columns: the parameter name (never editable) and its value. Each row carries a read-only
// flag and an optional pick list. A row with a pick list changes only by picking one of its
// choices (whatever its read-only flag says); a row without one is typed into unless it is
// read-only. Programmatic setValue() accepts any text (a custom size such as 640x480).
class TValueListEditor : public QTableWidget {
    Q_OBJECT
public:
    explicit TValueListEditor(QWidget* parent = nullptr);

    void clearRows();
    // Appends a row and returns its index.
    int appendRow(const QString& key, const QString& value, bool readOnly = false);
    void setPickList(int row, const QStringList& choices);
    QStringList pickList(int row) const;
    bool hasPickList(int row) const { return !pickList(row).isEmpty(); }
    void setReadOnly(int row, bool readOnly);
    bool isReadOnly(int row) const;

    // First row whose key equals key without regard to case; -1 when there is none.
    int findRow(const QString& key) const;
    QString keyAt(int row) const;
    QString valueAt(int row) const;
    void setValueAt(int row, const QString& value);
    // The value of the row named key; empty when there is no such row.
    QString value(const QString& key) const;
    // Sets the value of the row named key; false (and nothing changed) when there is no row.
    bool setValue(const QString& key, const QString& value);
    // The key of the current row; empty when no row is current.
    QString currentKey() const;

signals:
    // A value changed, by the user or by the program (row index given).
    void valueChanged(int row);

private:
    QTableWidgetItem* ensureValueItem(int row);
};

} // namespace segmora

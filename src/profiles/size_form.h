// TSizeForm: the dialog that asks for a custom video size.
#pragma once

#include <QDialog>

namespace segmora {

// Created once at start-up and only shown and hidden afterwards. Its controls and caption come
// with the custom-size work; for now it is an empty dialog that exists from start-up.
class TSizeForm : public QDialog {
    Q_OBJECT
public:
    explicit TSizeForm(QWidget* parent = nullptr);
};

} // namespace segmora

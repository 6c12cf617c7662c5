// The custom video size dialog: its two boxes, the number checks and the closing rule.
#include "profiles/size_form.h"

#include "ground/error_guard.h"
#include "ground/object_names.h"
#include "ground/seams.h"
#include "ground/whole_number.h"
#include "profiles/value_list_editor.h"
#include "profiles/video_size.h"

#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace segmora {

TSizeForm::TSizeForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SizeForm"));
    setWindowTitle(QStringLiteral("Video Size of output files"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Label1 = named(new QLabel(QStringLiteral("Width:"), this), "Label1");
    Label1->setGeometry(16, 20, 48, 21);
    edtWidth = named(new QLineEdit(this), "edtWidth");
    edtWidth->setGeometry(68, 20, 80, 21);
    Label1->setBuddy(edtWidth);

    Label2 = named(new QLabel(QStringLiteral("Height:"), this), "Label2");
    Label2->setGeometry(176, 20, 56, 21);
    edtHeight = named(new QLineEdit(this), "edtHeight");
    edtHeight->setGeometry(236, 20, 80, 21);
    Label2->setBuddy(edtHeight);

    btnOK = named(new QPushButton(QStringLiteral("&OK"), this), "btnOK");
    btnOK->setGeometry(160, 68, 75, 25);
    btnCancel = named(new QPushButton(QStringLiteral("&Cancel"), this), "btnCancel");
    btnCancel->setGeometry(241, 68, 75, 25);
    // Enter in a box confirms the size, as the OK button would.
    btnOK->setDefault(true);
    btnCancel->setAutoDefault(false);

    connect(btnOK, &QPushButton::clicked, this, [this] { guarded(this, [&] { btnOKClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this,
            [this] { guarded(this, [&] { btnCancelClick(); }); });

    setFixedSize(kClientWidth, kClientHeight);
}

void TSizeForm::Attach(QWidget* mainWindow, TValueListEditor* videoGrid) {
    m_mainWindow = mainWindow;
    m_videoGrid = videoGrid;
}

bool TSizeForm::IsProperInteger(const QString& text) {
    return ParseWholeNumber(text, {.plusSign = false}).has_value();
}

void TSizeForm::FormShow() {
    if (!m_mainWindow)
        return;
    m_mainWindow->setEnabled(false);
    // Windows owned by the main window go disabled with it; the profile editor (the grid's
    // window) and this dialog must stay usable.
    for (QWidget* window : {static_cast<QWidget*>(m_videoGrid ? m_videoGrid->window() : nullptr),
                            static_cast<QWidget*>(this)}) {
        if (window && window != m_mainWindow)
            window->setEnabled(true);
    }
}

void TSizeForm::btnOKClick() {
    // The main window is disabled while this dialog is shown, so the message boxes belong to
    // this dialog: a box owned by a disabled window could not be answered.
    if (!IsProperInteger(edtWidth->text())) {
        showMessage(this, MessageIcon::Information, QStringLiteral("Incorrect Width"),
                    QStringLiteral("Please specify a proper width for output videos."));
        edtWidth->setFocus();
        return;
    }
    if (!IsProperInteger(edtHeight->text())) {
        showMessage(this, MessageIcon::Information, QStringLiteral("Incorrect Height"),
                    QStringLiteral("Please specify a proper height for output videos."));
        edtHeight->setFocus();
        return;
    }
    if (m_videoGrid)
        m_videoGrid->setValue(kVideoSize, edtWidth->text() + QLatin1Char('x') + edtHeight->text());
    close();
}

void TSizeForm::btnCancelClick() {
    close();
}

void TSizeForm::FormClose() {
    if (m_videoGrid && m_videoGrid->value(kVideoSize) == kCustomSize)
        m_videoGrid->setValue(kVideoSize, kOriginalSize);
    if (m_mainWindow)
        m_mainWindow->setEnabled(true);
}

void TSizeForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (m_mainWindow) {
        const QRect main = m_mainWindow->frameGeometry();
        move(main.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
    guarded(this, [&] { FormShow(); });
}

void TSizeForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Every way of closing (OK, Cancel, the close box, Escape) ends in a hide.
    if (!event->spontaneous())
        guarded(this, [&] { FormClose(); });
}

} // namespace segmora

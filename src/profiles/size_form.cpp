// The custom video size dialog: its two boxes, the number checks and the closing rule.
#include "profiles/size_form.h"

#include "ground/error_guard.h"
#include "ground/object_names.h"
#include "ground/seams.h"
#include "profiles/profile_editor_form.h"
#include "profiles/video_size.h"

#include <QCheckBox>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
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

    // A side is digits only: anything else would not reach the converter as a size.
    for (QLineEdit* side : {edtWidth, edtHeight}) {
        side->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), side));
        side->setMaxLength(10);
        side->setInputMethodHints(Qt::ImhDigitsOnly);
    }

    chkKeepRatio = named(new QCheckBox(QStringLiteral("&Keep aspect ratio"), this), "chkKeepRatio");
    chkKeepRatio->setGeometry(68, 45, 248, 20);

    btnOK = named(new QPushButton(QStringLiteral("&OK"), this), "btnOK");
    btnOK->setGeometry(160, 68, 75, 25);
    btnCancel = named(new QPushButton(QStringLiteral("&Cancel"), this), "btnCancel");
    btnCancel->setGeometry(241, 68, 75, 25);
    // Enter in a box confirms the size, as the OK button would.
    btnOK->setDefault(true);
    btnCancel->setAutoDefault(false);

    connect(chkKeepRatio, &QCheckBox::toggled, this, guardedSlot(this, [this](bool on) {
                if (on)
                    takeRatio();
            }));
    // Typed by the user only: the side set here in reply must not answer back.
    connect(edtWidth, &QLineEdit::textEdited, this, guardedSlot(this, [this] {
                keepRatio(edtWidth, edtHeight, m_ratioWidth, m_ratioHeight);
            }));
    connect(edtHeight, &QLineEdit::textEdited, this, guardedSlot(this, [this] {
                keepRatio(edtHeight, edtWidth, m_ratioHeight, m_ratioWidth);
            }));
    connect(btnOK, &QPushButton::clicked, this, guardedSlot(this, &TSizeForm::btnOKClick));
    connect(btnCancel, &QPushButton::clicked, this, guardedSlot(this, &TSizeForm::btnCancelClick));

    setFixedSize(kClientWidth, kClientHeight);
}

void TSizeForm::Attach(QWidget* mainWindow, TopSettingForm* editor) {
    m_editor = editor;
    // Windows owned by the main window go disabled with it; the profile editor must stay usable.
    m_overMain.setMainWindow(mainWindow, {editor});
}

void TSizeForm::FormShow() {
    if (m_editor) {
        if (const std::optional<VideoSideLengths> size =
                ParseCustomSize(m_editor->SizeBeforeCustom())) {
            edtWidth->setText(QString::number(size->width));
            edtHeight->setText(QString::number(size->height));
        }
    }
    takeRatio();
    m_overMain.showing();
}

void TSizeForm::takeRatio() {
    const bool proper =
        IsProperSideLength(edtWidth->text()) && IsProperSideLength(edtHeight->text());
    m_ratioWidth = proper ? edtWidth->text().toInt() : 0;
    m_ratioHeight = proper ? edtHeight->text().toInt() : 0;
}

void TSizeForm::keepRatio(QLineEdit* typed, QLineEdit* other, int typedRatio, int otherRatio) {
    if (!chkKeepRatio->isChecked())
        return;
    if (const std::optional<int> side = SideKeepingRatio(typed->text(), typedRatio, otherRatio))
        other->setText(QString::number(*side));
}

void TSizeForm::btnOKClick() {
    // The main window is disabled while this dialog is shown, so the message boxes belong to
    // this dialog: a box owned by a disabled window could not be answered.
    if (!IsProperSideLength(edtWidth->text())) {
        showMessage(this, MessageIcon::Information, QStringLiteral("Incorrect Width"),
                    QStringLiteral("Please specify a proper width for output videos."));
        edtWidth->setFocus();
        return;
    }
    if (!IsProperSideLength(edtHeight->text())) {
        showMessage(this, MessageIcon::Information, QStringLiteral("Incorrect Height"),
                    QStringLiteral("Please specify a proper height for output videos."));
        edtHeight->setFocus();
        return;
    }
    if (m_editor)
        m_editor->setValue(ProfileValues::kVideo, kVideoSize,
                           CustomSizeText(edtWidth->text(), edtHeight->text()));
    close();
}

void TSizeForm::btnCancelClick() {
    close();
}

void TSizeForm::FormClose() {
    if (m_editor && CustomSizeUnanswered(m_editor->values()))
        m_editor->setValue(ProfileValues::kVideo, kVideoSize, kOriginalSize);
    m_overMain.hidden();
}

void TSizeForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (DialogOverMainWindow::byProgram(event))
        guarded(this, [&] { FormShow(); });
}

void TSizeForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // Every way of closing (OK, Cancel, the close box, Escape) ends in a hide.
    if (DialogOverMainWindow::byProgram(event))
        guarded(this, [&] { FormClose(); });
}

} // namespace segmora

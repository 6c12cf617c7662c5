// The about box's controls and its showing rules.
#include "app/about_form.h"

#include "app/picture_button.h"
#include "ground/object_names.h"
#include "ground/product.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace segmora {

TAboutForm::TAboutForm(QWidget* mainWindow, const QString& versionText)
    : QDialog(nullptr), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("AboutForm"));
    EnsureArtwork();
    setWindowTitle(QStringLiteral("About"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);

    imgLogo = named(new QLabel(this), "imgLogo");
    imgLogo->setPixmap(QIcon(QStringLiteral(":/artwork/banner.svg")).pixmap(QSize(320, 80)));
    imgLogo->setAccessibleName(kProductName);
    // The banner is drawn for the dark preview screen; it keeps that ground here.
    imgLogo->setStyleSheet(QStringLiteral(
        "QLabel { background-color: #0f172a; border-radius: 10px; padding: 8px 16px; }"));

    labProduct = named(new QLabel(kProductName, this), "labProduct");
    QFont big = labProduct->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    labProduct->setFont(big);

    labVersion = named(new QLabel(QStringLiteral("Version ") + versionText, this), "labVersion");
    labVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const QString purpose =
        QStringLiteral("Cuts a marked range out of a video, as one clip or in equal sections.");
    labPurpose = named(new QLabel(purpose, this), "labPurpose");
    labPurpose->setWordWrap(true);
    labPurpose->setAlignment(Qt::AlignHCenter);

    btnOK = named(new QPushButton(QStringLiteral("OK"), this), "btnOK");
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(imgLogo, 0, Qt::AlignHCenter);
    layout->addWidget(labProduct, 0, Qt::AlignHCenter);
    layout->addWidget(labVersion, 0, Qt::AlignHCenter);
    layout->addWidget(labPurpose);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous() || !m_mainWindow)
        return;
    m_mainWindow->setEnabled(false);
    move(m_mainWindow->geometry().center() - rect().center());
}

void TAboutForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous() && m_mainWindow)
        m_mainWindow->setEnabled(true);
}

} // namespace segmora

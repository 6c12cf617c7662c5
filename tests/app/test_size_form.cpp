// The custom video size dialog: its controls, the width and height checks, the size it writes
// into the editor's video grid, its closing rule and the main window it disables meanwhile.
#include "editor_test_world.h"
#include "profiles/profile_arguments.h"

#include "accessible_tree.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace segmora;

namespace {

const QString kVideoSize = QStringLiteral("Video Size");

} // namespace

class TestSizeForm : public QObject {
    Q_OBJECT
private slots:
    void controls() {
        test::EditorWorld world;
        TSizeForm* form = world.sizeForm;
        QCOMPARE(form->objectName(), QStringLiteral("SizeForm"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Video Size of output files"));
        QCOMPARE(form->minimumSize(), QSize(336, 106));
        QCOMPARE(form->maximumSize(), QSize(336, 106));
        QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("edtWidth")), form->edtWidth);
        QCOMPARE(form->findChild<QLineEdit*>(QStringLiteral("edtHeight")), form->edtHeight);
        QCOMPARE(form->Label1->text(), QStringLiteral("Width:"));
        QCOMPARE(form->Label1->buddy(), form->edtWidth);
        QCOMPARE(form->Label2->text(), QStringLiteral("Height:"));
        QCOMPARE(form->Label2->buddy(), form->edtHeight);
        QCOMPARE(form->btnOK->text(), QStringLiteral("&OK"));
        QCOMPARE(form->btnCancel->text(), QStringLiteral("&Cancel"));
        QVERIFY(form->edtWidth->text().isEmpty());
        QVERIFY(form->edtHeight->text().isEmpty());
    }

    void pickingCustomSizeShowsItAndDisablesTheMainWindow() {
        test::EditorWorld world;
        world.main->BitBtn1Click();
        QVERIFY(!world.sizeForm->isVisible());
        QVERIFY(world.pickCustomSize());
        QVERIFY(world.sizeForm->isVisible());
        QVERIFY(!world.sizeForm->isModal());
        QVERIFY(!world.main->isEnabled());
        // The editor is a window of the main window, yet stays usable, and so does the dialog.
        QVERIFY(world.editor->isEnabled());
        QVERIFY(world.editor->vleVideo->isEnabled());
        QVERIFY(world.sizeForm->isEnabled());
        QVERIFY(world.sizeForm->btnOK->isEnabled());

        world.sizeForm->btnCancel->click();
        QVERIFY(!world.sizeForm->isVisible());
        QVERIFY(world.main->isEnabled());
        QVERIFY(world.editor->isEnabled());
    }

    void ok_data() {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("title"); // empty: accepted
        QTest::addColumn<QString>("row");   // the row "Video Size" afterwards
        QTest::newRow("640 by 480") << "640"
                                    << "480"
                                    << ""
                                    << "640x480";
        QTest::newRow("negative width") << "-5"
                                        << "480"
                                        << "Incorrect Width"
                                        << "Custom Size";
        QTest::newRow("zero height") << "640"
                                     << "0"
                                     << "Incorrect Height"
                                     << "Custom Size";
        QTest::newRow("leading zeros kept as typed") << "0640"
                                                     << "480"
                                                     << ""
                                                     << "0640x480";
        QTest::newRow("limit of 32 bits") << "2147483647"
                                          << "1"
                                          << ""
                                          << "2147483647x1";
        QTest::newRow("negative height") << "640"
                                         << "-2147483648"
                                         << "Incorrect Height"
                                         << "Custom Size";
        QTest::newRow("width abc before an invalid height") << "abc"
                                                            << "abc"
                                                            << "Incorrect Width"
                                                            << "Custom Size";
        QTest::newRow("empty width") << ""
                                     << "480"
                                     << "Incorrect Width"
                                     << "Custom Size";
        QTest::newRow("width beyond 32 bits") << "2147483648"
                                              << "480"
                                              << "Incorrect Width"
                                              << "Custom Size";
        QTest::newRow("width with a blank") << " 640"
                                            << "480"
                                            << "Incorrect Width"
                                            << "Custom Size";
        QTest::newRow("width with a plus sign") << "+640"
                                                << "480"
                                                << "Incorrect Width"
                                                << "Custom Size";
        QTest::newRow("hexadecimal width") << "0x10"
                                           << "480"
                                           << "Incorrect Width"
                                           << "Custom Size";
        QTest::newRow("sign alone") << "-"
                                    << "480"
                                    << "Incorrect Width"
                                    << "Custom Size";
        QTest::newRow("empty height") << "640"
                                      << ""
                                      << "Incorrect Height"
                                      << "Custom Size";
        QTest::newRow("height below 32 bits") << "640"
                                              << "-2147483649"
                                              << "Incorrect Height"
                                              << "Custom Size";
        QTest::newRow("decimal height") << "640"
                                        << "4.5"
                                        << "Incorrect Height"
                                        << "Custom Size";
    }
    void ok() {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, title);
        QFETCH(QString, row);
        test::EditorWorld world;
        world.main->BitBtn1Click();
        QVERIFY(world.pickCustomSize());
        TSizeForm* form = world.sizeForm;
        form->edtWidth->setText(width);
        form->edtHeight->setText(height);
        form->btnOK->click();

        QCOMPARE(world.editor->vleVideo->value(kVideoSize), row);
        if (title.isEmpty()) {
            QVERIFY(world.fakes.messages.isEmpty());
            QVERIFY(!form->isVisible());
            QVERIFY(world.main->isEnabled());
            // The size reaches the converter as the value of its flag.
            const QString arguments =
                BuildProfileArguments(world.path(QStringLiteral("Clip")), world.editor->values());
            QVERIFY2(arguments.contains(QStringLiteral(" -s ") + row + QLatin1Char(' ')),
                     qPrintable(arguments));
            return;
        }
        QCOMPARE(world.fakes.messages.size(), 1);
        const MessageRequest& message = world.fakes.messages.first();
        QCOMPARE(message.title, title);
        QCOMPARE(message.icon, MessageIcon::Information);
        QCOMPARE(message.buttons, MessageButtons::Ok);
        QCOMPARE(message.text,
                 title == QLatin1String("Incorrect Width")
                     ? QStringLiteral("Please specify a proper width for output videos.")
                     : QStringLiteral("Please specify a proper height for output videos."));
        // The main window is disabled: the box belongs to the dialog, where it can be answered.
        QCOMPARE(message.owner, form);
        QCOMPARE(form->focusWidget(),
                 title == QLatin1String("Incorrect Width") ? form->edtWidth : form->edtHeight);
        QVERIFY(form->isVisible());
        QVERIFY(!world.main->isEnabled());
    }

    void closing_data() {
        QTest::addColumn<QString>("how");        // cancel, close box or escape
        QTest::addColumn<QString>("pickBefore"); // picked in the editor while it was shown
        QTest::addColumn<QString>("row");
        QTest::newRow("Cancel") << "cancel"
                                << ""
                                << "Original Size";
        QTest::newRow("close box") << "close box"
                                   << ""
                                   << "Original Size";
        QTest::newRow("Escape") << "escape"
                                << ""
                                << "Original Size";
        QTest::newRow("another size picked meanwhile stays") << "cancel"
                                                             << "320x240"
                                                             << "320x240";
    }
    void closing() {
        QFETCH(QString, how);
        QFETCH(QString, pickBefore);
        QFETCH(QString, row);
        test::EditorWorld world;
        world.main->BitBtn1Click();
        QVERIFY(world.pickCustomSize());
        if (!pickBefore.isEmpty())
            QVERIFY(test::EditorWorld::pick(world.editor->vleVideo, kVideoSize, pickBefore));
        TSizeForm* form = world.sizeForm;
        form->edtWidth->setText(QStringLiteral("640"));
        form->edtHeight->setText(QStringLiteral("480"));
        if (how == QLatin1String("cancel"))
            form->btnCancel->click();
        else if (how == QLatin1String("close box"))
            form->close();
        else
            QTest::keyClick(form, Qt::Key_Escape);
        QVERIFY(!form->isVisible());
        QCOMPARE(world.editor->vleVideo->value(kVideoSize), row);
        QVERIFY(world.main->isEnabled());
        QVERIFY(world.fakes.messages.isEmpty());
        // Closing wrote no size and the editor is still open.
        QVERIFY(world.editor->isVisible());
    }

    // The dialog starts with the size the row held before "Custom Size" was picked; a row
    // that held no size leaves the boxes as they were.
    void startsWithTheCurrentSize_data() {
        QTest::addColumn<QString>("before"); // picked before "Custom Size"; empty: as loaded
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::newRow("listed size as loaded") << ""
                                               << "320"
                                               << "240";
        QTest::newRow("Original Size keeps the boxes") << "Original Size"
                                                       << "12"
                                                       << "34";
    }
    void startsWithTheCurrentSize() {
        QFETCH(QString, before);
        QFETCH(QString, width);
        QFETCH(QString, height);
        test::EditorWorld world;
        world.sizeForm->edtWidth->setText(QStringLiteral("12"));
        world.sizeForm->edtHeight->setText(QStringLiteral("34"));
        world.main->BitBtn1Click();
        if (!before.isEmpty())
            QVERIFY(test::EditorWorld::pick(world.editor->vleVideo, kVideoSize, before));
        QVERIFY(world.pickCustomSize());
        QCOMPARE(world.sizeForm->edtWidth->text(), width);
        QCOMPARE(world.sizeForm->edtHeight->text(), height);
    }

    // Reached as assistive technology reaches them: the boxes take digits only, and with the
    // aspect ratio kept a side typed sets the other from the size the dialog started with.
    void typingThroughTheAccessibilityTree_data() {
        QTest::addColumn<bool>("keepRatio");
        QTest::addColumn<QString>("box"); // the accessible name of the box typed into
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("size"); // the row afterwards
        QTest::newRow("width, ratio kept") << true << "Width:"
                                           << "1-6a0"
                                           << "160x120";
        QTest::newRow("height, ratio kept") << true << "Height:"
                                            << "x480"
                                            << "640x480";
        QTest::newRow("width, ratio free") << false << "Width:"
                                           << "+641"
                                           << "641x240";
    }
    void typingThroughTheAccessibilityTree() {
        QFETCH(bool, keepRatio);
        QFETCH(QString, box);
        QFETCH(QString, keys);
        QFETCH(QString, size);
        test::EditorWorld world;
        world.main->BitBtn1Click();
        QVERIFY(world.pickCustomSize()); // starts with 320x240
        TSizeForm* form = world.sizeForm;

        QAccessibleInterface* ratio =
            test::findAccessible(form, QAccessible::CheckBox, QStringLiteral("Keep aspect ratio"));
        QVERIFY(ratio);
        QVERIFY(ratio->actionInterface());
        if (keepRatio)
            ratio->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(form->chkKeepRatio->isChecked(), keepRatio);
        QWidget* typed = test::widgetOf(test::findAccessible(form, QAccessible::EditableText, box));
        QVERIFY(typed);
        auto* edit = qobject_cast<QLineEdit*>(typed);
        QVERIFY(edit);
        edit->selectAll();
        QTest::keyClicks(edit, keys);
        QAccessibleInterface* ok =
            test::findAccessible(form, QAccessible::Button, QStringLiteral("OK"));
        QVERIFY(ok);
        // A press through the tree is an animated click: it lands from the event loop.
        ok->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(world.fakes.messages.isEmpty());
        QCOMPARE(world.editor->vleVideo->value(kVideoSize), size);
    }

    void secondOpeningShowsTheLastNumbers() {
        test::EditorWorld world;
        world.main->BitBtn1Click();
        QVERIFY(world.pickCustomSize());
        world.sizeForm->edtWidth->setText(QStringLiteral("800"));
        world.sizeForm->edtHeight->setText(QStringLiteral("abc"));
        world.sizeForm->btnOK->click(); // refused: the texts stay
        world.sizeForm->edtHeight->setText(QStringLiteral("600"));
        world.sizeForm->btnOK->click();
        QCOMPARE(world.editor->vleVideo->value(kVideoSize), QStringLiteral("800x600"));

        QVERIFY(world.pickCustomSize());
        QVERIFY(world.sizeForm->isVisible());
        QCOMPARE(world.sizeForm->edtWidth->text(), QStringLiteral("800"));
        QCOMPARE(world.sizeForm->edtHeight->text(), QStringLiteral("600"));
        world.sizeForm->btnOK->click();
        QCOMPARE(world.editor->vleVideo->value(kVideoSize), QStringLiteral("800x600"));
    }
};

QTEST_MAIN(TestSizeForm)
#include "test_size_form.moc"

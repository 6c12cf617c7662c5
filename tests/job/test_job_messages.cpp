// The boxes of a split job: their texts, titles, icons and buttons, and what an answer means.
#include "job/job_messages.h"

#include "fake_seams.h"

#include <QtTest>
#include <functional>

using namespace segmora;
using segmora::test::FakeSeams;

using Question = std::function<bool()>;
Q_DECLARE_METATYPE(Question)
Q_DECLARE_METATYPE(segmora::SplitJobEnd)
Q_DECLARE_METATYPE(segmora::MessageIcon)

class TestJobMessages : public QObject {
    Q_OBJECT

private slots:
    void questions_data() {
        QTest::addColumn<Question>("ask");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QList<std::tuple<const char*, Question, QString, QString>> rows{
            {"cancel", [] { return AskCancelSplitting(nullptr); }, "Query",
             "Do you want to cancel the splitting?"},
            {"exit", [] { return AskCancelAndExit(nullptr); }, "Exit Query",
             "Do you want to cancel the splitting and exit?"},
        };
        for (const auto& [name, ask, title, text] : rows)
            QTest::newRow(name) << ask << title << text;
    }

    void questions() {
        QFETCH(Question, ask);
        QFETCH(QString, title);
        QFETCH(QString, text);
        FakeSeams fakes;
        fakes.answers.enqueue(MessageAnswer::Yes);
        fakes.answers.enqueue(MessageAnswer::No);
        QCOMPARE(ask(), true);
        QCOMPARE(ask(), false);
        QCOMPARE(fakes.messages.size(), 2);
        const MessageRequest& box = fakes.messages.first();
        QCOMPARE(box.title, title);
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, MessageIcon::Question);
        QCOMPARE(box.buttons, MessageButtons::YesNo);
    }

    // The overwrite question names the file and offers an answer for the rest of the job; an
    // answer the box does not offer (the box closed otherwise) keeps the file.
    void overwriteQuestion_data() {
        QTest::addColumn<int>("given");
        QTest::addColumn<int>("answer");
        using A = JobController::OverwriteAnswer;
        QTest::newRow("Yes") << int(MessageAnswer::Yes) << int(A::Yes);
        QTest::newRow("No") << int(MessageAnswer::No) << int(A::No);
        QTest::newRow("Yes to all") << int(MessageAnswer::YesToAll) << int(A::YesToAll);
        QTest::newRow("No to all") << int(MessageAnswer::NoToAll) << int(A::NoToAll);
        QTest::newRow("closed") << int(MessageAnswer::Ok) << int(A::No);
    }

    void overwriteQuestion() {
        QFETCH(int, given);
        QFETCH(int, answer);
        FakeSeams fakes;
        fakes.answers.enqueue(MessageAnswer(given));
        const QString clip = QStringLiteral("/videos/out/holiday_Clip2.mp4");
        QCOMPARE(int(AskOverwrite(nullptr, clip)), answer);
        QCOMPARE(fakes.messages.size(), 1);
        const MessageRequest& box = fakes.messages.first();
        QCOMPARE(box.title, QStringLiteral("Overwrite"));
        QCOMPARE(box.text, QStringLiteral("The output file is existent. Overwrite it?\n\n") + clip);
        QCOMPARE(box.icon, MessageIcon::Question);
        QCOMPARE(box.buttons, MessageButtons::YesNoToAll);
    }

    void checkFailure() {
        FakeSeams fakes;
        JobCheckResult failed;
        failed.failedCheck = 7;
        failed.text = QStringLiteral("Please select a valid output profile.");
        failed.title = QStringLiteral("Invalid Output Path");
        ShowCheckFailure(nullptr, failed);
        ShowCheckFailure(nullptr, JobCheckResult{}); // passed: nothing to say
        QCOMPARE(fakes.messages.size(), 1);
        QCOMPARE(fakes.messages[0].icon, MessageIcon::Information);
        QCOMPARE(fakes.messages[0].buttons, MessageButtons::Ok);
        QCOMPARE(fakes.messages[0].title, failed.title);
        QCOMPARE(fakes.messages[0].text, failed.text);
    }

    void jobEnd_data() {
        QTest::addColumn<SplitJobEnd>("end");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<MessageIcon>("icon");
        QTest::newRow("start failed: plain box")
            << SplitJobEnd::StartFailed << true << MessageIcon::None;
        QTest::newRow("failed: error box") << SplitJobEnd::Failed << true << MessageIcon::Error;
        QTest::newRow("completed") << SplitJobEnd::Completed << false << MessageIcon::None;
        QTest::newRow("cancelled") << SplitJobEnd::Cancelled << false << MessageIcon::None;
        QTest::newRow("overwrite refused")
            << SplitJobEnd::OverwriteRefused << false << MessageIcon::None;
    }

    void jobEnd() {
        QFETCH(SplitJobEnd, end);
        QFETCH(bool, shown);
        QFETCH(MessageIcon, icon);
        FakeSeams fakes;
        SplitJobResult result;
        result.end = end;
        result.message = QStringLiteral("what happened");
        result.section = 1;
        ShowJobEnd(nullptr, result);
        QCOMPARE(fakes.messages.size(), shown ? 1 : 0);
        if (!shown)
            return;
        QCOMPARE(fakes.messages[0].icon, icon);
        QCOMPARE(fakes.messages[0].title, QStringLiteral("Segmora"));
        QCOMPARE(fakes.messages[0].text, QStringLiteral("what happened"));
        QCOMPARE(fakes.messages[0].buttons, MessageButtons::Ok);
    }
};

QTEST_GUILESS_MAIN(TestJobMessages)
#include "test_job_messages.moc"

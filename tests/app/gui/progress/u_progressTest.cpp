// The progress window: what a job on another thread asks for reaches the controls, Step's
// half-second throttle, the animation of jobs of unknown size, and Cancel.

#include "app/gui/progress/Animations.h"
#include "app/gui/progress/u_progress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <thread>

class ProgressWindowTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CloseProgress(); }

    void JobsOfAWorkerThreadReachTheBars() {
        TfProgress& p = GetProgress();
        QVERIFY(IsProgressActive());
        p.SetProfileCaption("shop");
        p.SetJobs(3, 3, true);
        auto* jobBar = p.findChild<QProgressBar*>("JobBar");
        auto* area = p.findChild<QWidget*>("AnimationArea");
        auto* jobLine = p.findChild<QLabel*>("JobLine");
        QCOMPARE(p.findChild<QLabel*>("ProfileLine")->text(), QString("Processing profile \"shop\""));
        QVERIFY(p.findChild<QPushButton*>("CancelButton")->isVisible());

        // A sized job, advanced line by line from the job's thread while the window polls.
        std::thread job([&] {
            p.NewJob("Analysing...", 1000);
            for (int line = 1; line <= 600; ++line)
                p.SetPosition(line);
        });
        job.join();
        p.Poll();
        QCOMPARE(jobLine->text(), QString("Current job: Analysing..."));
        QVERIFY(jobBar->isVisible());
        QVERIFY(!area->isVisible());
        QCOMPARE(p.JobValue(), 600);
        QCOMPARE(p.OverallMaximum(), 3000);
        QCOMPARE(p.OverallValue(), 0); // the overall bar moves by whole jobs

        // A job of unknown size: the animation takes the bar's place and keeps moving.
        std::thread next([&] { p.NewJob("Compiling Statistics...", 0); });
        next.join();
        p.Poll();
        QVERIFY(!jobBar->isVisible());
        QVERIFY(area->isVisible());
        QCOMPARE(p.OverallMaximum(), 3);
        QCOMPARE(p.OverallValue(), 1); // one share of three per job begun
        const int frames = p.AnimationFrameCounter();
        QTRY_VERIFY_WITH_TIMEOUT(p.AnimationFrameCounter() >= frames + 2, 3000);
    }

    void StepShowsAtMostTwiceASecond() {
        TfProgress& p = GetProgress();
        p.SetJobs(1, 0, false);
        p.NewJob("Downloading files...", 100);
        p.Poll();
        p.Step(1); // the first step shows at once
        QCOMPARE(p.JobValue(), 1);
        for (int i = 0; i < 10; ++i)
            p.Step(1);
        QCOMPARE(p.JobValue(), 1);
        QTest::qWait(550);
        p.Step(1);
        QCOMPARE(p.JobValue(), 12);
        QCOMPARE(p.OverallValue(), 12);
    }

    void CancelAndCloseBothAskForACancelOnce() {
        TfProgress& p = GetProgress();
        p.SetJobs(3, 0, true);
        auto* cancel = p.findChild<QPushButton*>("CancelButton");
        QVERIFY(!p.CancelRequested());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(p.CancelRequested());
        QVERIFY(!cancel->isEnabled());
        CloseProgress();

        TfProgress& again = GetProgress();
        QVERIFY(!again.CancelRequested()); // a new run gets a new window
        again.close();
        QVERIFY(again.isVisible());
        QVERIFY(again.CancelRequested());
    }

    // Every frame of an animation differs from the one before it, or nothing would move.
    void AnimationFramesChange() {
        for (int a = 0; a < kAnimationCount; ++a) {
            const std::vector<QImage> frames = AnimationFrames(a);
            QCOMPARE(static_cast<int>(frames.size()), kAnimations[a].Count);
            for (size_t i = 0; i < frames.size(); ++i) {
                QCOMPARE(frames[i].size(), QSize(kFrameSize, kFrameSize));
                QVERIFY2(frames[i] != frames[(i + 1) % frames.size()], qPrintable(QString("animation %1").arg(a)));
            }
        }
    }
};

QTEST_MAIN(ProgressWindowTest)
#include "u_progressTest.moc"

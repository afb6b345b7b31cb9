#pragma once
// The progress window of a report or an FTP fetch: the profile and job lines, a job bar and an
// overall bar (or an animation for a job of unknown size) and Cancel. Jobs on worker threads
// only store their state in the TProgress base; a timer on the window's thread shows it.

#include "core/Progress.h"

#include <QDialog>
#include <QImage>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;

// The area where a job of unknown size shows its animation: the frames walk across it.
class TAnimationArea : public QWidget {
    Q_OBJECT
public:
    explicit TAnimationArea(QWidget* parent = nullptr);

    void SetFrames(std::vector<QImage> frames);
    // Draws the next frame, one 16-pixel step further, and counts it.
    void DrawNext();
    void Restart() { FrameCounter = 0; }
    int FrameCounter = 0; // frames drawn since the current job began

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<QImage> Frames;
    int ShownFrame = -1; // counter value of the frame on screen; -1 for none
};

class TfProgress : public QDialog, public TProgress {
    Q_OBJECT
public:
    explicit TfProgress(QWidget* parent = nullptr);
    ~TfProgress() override;

    // Callable from any thread: they only store state, shown at the next Poll.
    void SetProfileCaption(std::string_view name) override;
    void SetJobs(int count, int animation, bool showCancel) override;
    // Advances the bars by the steps gathered so far, or draws the next animation frame, at
    // most twice a second. Steps of another thread are gathered and shown at the next Poll.
    void Step(int64_t n) override;

    // Shows the jobs' latest state; the window's timer calls it ten times a second, and moves
    // the animation of a job of unknown size.
    void Poll();

    bool Alive() const { return IsAlive; }
    void SetAlive(bool alive) { IsAlive = alive; }
    // The loaded animation's number (-1 when none) and frames, for the animation page.
    int LoadedAnimation() const { return AnimationNo; }
    const std::vector<QImage>& Frames() const { return FrameList; }

    // The bars' values in job units (the widgets themselves show them scaled).
    int64_t JobMaximum() const { return JobMax; }
    int64_t JobValue() const { return JobPos; }
    int64_t OverallMaximum() const { return OverallMax; }
    int64_t OverallValue() const { return OverallPos; }
    int AnimationFrameCounter() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void showEvent(QShowEvent* event) override;

private:
    void Cancel();
    void LoadAnimation(int animation);
    void StartShownJob(const TProgressSnapshot& state);
    void ShowBars();

    QLabel* ProfileLine;
    QLabel* JobLine;
    QStackedWidget* JobArea;
    QProgressBar* JobBar;
    TAnimationArea* Animation;
    QProgressBar* OverallBar;
    QPushButton* CancelButton;
    QTimer* Timer;

    bool IsAlive = true;
    int AnimationNo = -1;
    std::vector<QImage> FrameList;
    // What is on screen, to apply only the changes of each snapshot.
    int ShownJobIndex = -1;
    int ShownJobCount = -1;
    int64_t ShownPosition = -1;
    int64_t JobMax = 1, JobPos = 0, OverallMax = 1, OverallPos = 0;
    int64_t Pending = 0;
    std::atomic<int64_t> QueuedSteps{0}; // Step calls of worker threads
    std::chrono::steady_clock::time_point LastUpdate{};
};

// The one progress window, created (and shown) on first use; parent only matters then.
TfProgress& GetProgress(QWidget* parent = nullptr);
// Destroys the progress window, if there is one.
void CloseProgress();
// A progress window exists and is alive.
bool IsProgressActive();

#include "app/gui/progress/u_progress.h"

#include "app/gui/bridge/QtBridge.h"
#include "app/gui/progress/Animations.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

QPointer<TfProgress> gProgress;

constexpr auto kStepInterval = std::chrono::milliseconds(500);
constexpr int kPollMilliseconds = 100;

bool OnWindowThread(const QObject* window) {
    return QThread::currentThread() == window->thread();
}

// A bar shows value of maximum, scaled when the numbers do not fit its int range.
void ShowOnBar(QProgressBar* bar, int64_t value, int64_t maximum) {
    maximum = std::max<int64_t>(maximum, 0);
    value = std::clamp<int64_t>(value, 0, maximum);
    if (maximum > INT_MAX) {
        value = static_cast<int64_t>(static_cast<double>(value) / static_cast<double>(maximum) * 1000000.0);
        maximum = 1000000;
    }
    bar->setRange(0, static_cast<int>(maximum));
    bar->setValue(static_cast<int>(value));
}

} // namespace

TAnimationArea::TAnimationArea(QWidget* parent) : QWidget(parent) {
    setObjectName("AnimationArea");
    setFixedHeight(kFrameSize + 4);
    setMinimumWidth(kFrameSize + 4);
}

void TAnimationArea::SetFrames(std::vector<QImage> frames) {
    Frames = std::move(frames);
    ShownFrame = -1;
    update();
}

void TAnimationArea::DrawNext() {
    ShownFrame = FrameCounter++;
    update();
}

void TAnimationArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(Qt::black);
    p.drawRect(QRect(1, 1, width() - 3, height() - 3));
    if (ShownFrame < 0 || Frames.empty()) return;
    // The picture walks across the area in 16-pixel steps and cycles through its frames.
    const int places = std::max(1, (width() - 4) / kFrameSize);
    p.drawImage(2 + kFrameSize * (ShownFrame % places), 2, Frames[ShownFrame % Frames.size()]);
}

TfProgress::TfProgress(QWidget* parent) : QDialog(parent) {
    setObjectName("TfProgress");
    setWindowTitle("Working...");
    // No title-bar buttons: closing is Cancel's job.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    ProfileLine = new QLabel(this);
    ProfileLine->setObjectName("ProfileLine");
    ProfileLine->setAlignment(Qt::AlignCenter);
    ProfileLine->hide();
    JobLine = new QLabel(this);
    JobLine->setObjectName("JobLine");
    JobLine->setAlignment(Qt::AlignCenter);

    JobBar = new QProgressBar(this);
    JobBar->setObjectName("JobBar");
    Animation = new TAnimationArea(this);
    // The animation takes the job bar's place, so nothing moves when they change over.
    JobArea = new QStackedWidget(this);
    JobArea->addWidget(JobBar);
    JobArea->addWidget(Animation);
    JobArea->setFixedHeight(std::max(JobBar->sizeHint().height(), Animation->height()));
    OverallBar = new QProgressBar(this);
    OverallBar->setObjectName("OverallBar");

    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    connect(CancelButton, &QPushButton::clicked, this, &TfProgress::Cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ProfileLine);
    layout->addWidget(JobLine);
    layout->addSpacing(6);
    layout->addWidget(new QLabel("Job progress:", this));
    layout->addWidget(JobArea);
    layout->addWidget(new QLabel("Overall progress:", this));
    layout->addWidget(OverallBar);
    layout->addSpacing(6);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch();
    buttons->addWidget(CancelButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(400);
    JobArea->setMinimumWidth(360);

    TfProgress::SetJobs(0, 0, false);
    Timer = new QTimer(this);
    connect(Timer, &QTimer::timeout, this, &TfProgress::Poll);
    Timer->start(kPollMilliseconds);
}

TfProgress::~TfProgress() {
    IsAlive = false;
}

void TfProgress::SetProfileCaption(std::string_view name) {
    TProgress::SetProfileCaption(name);
    if (OnWindowThread(this)) Poll();
}

void TfProgress::SetJobs(int count, int animation, bool showCancel) {
    TProgress::SetJobs(count, animation, showCancel);
    if (!OnWindowThread(this)) return;
    ShownJobIndex = -1;
    ShownJobCount = count;
    ShownPosition = -1;
    JobMax = 1;
    JobPos = 0;
    OverallMax = 1;
    OverallPos = 0;
    Pending = 0;
    JobArea->setCurrentWidget(JobBar);
    Poll();
}

void TfProgress::Step(int64_t n) {
    if (!OnWindowThread(this)) {
        QueuedSteps.fetch_add(n, std::memory_order_relaxed);
        return;
    }
    Pending += n;
    const auto now = std::chrono::steady_clock::now();
    if (now - LastUpdate <= kStepInterval) return;
    if (JobMax > 0) {
        JobPos = std::min(JobPos + Pending, JobMax);
        OverallPos = std::min(OverallPos + Pending, OverallMax);
        ShowBars();
    } else {
        Animation->DrawNext();
    }
    LastUpdate = now;
    Pending = 0;
}

void TfProgress::Poll() {
    const TProgressSnapshot state = Snapshot();
    ProfileLine->setText(ToQString("Processing profile \"" + state.ProfileCaption + "\""));
    ProfileLine->setVisible(!state.ProfileCaption.empty());
    CancelButton->setVisible(state.ShowCancel);
    if (state.Animation != AnimationNo) LoadAnimation(state.Animation);

    if (state.JobIndex != ShownJobIndex || state.JobCount != ShownJobCount) {
        if (state.JobIndex >= 0) {
            StartShownJob(state);
        } else {
            // A new run began on another thread.
            JobLine->clear();
            JobMax = OverallMax = 1;
            JobPos = OverallPos = 0;
            JobArea->setCurrentWidget(JobBar);
            ShownJobIndex = -1;
            ShownJobCount = state.JobCount;
        }
    }
    if (JobMax > 0 && state.Position != ShownPosition) {
        JobPos = std::min(state.Position, JobMax);
        ShownPosition = state.Position;
        Pending = 0;
    }
    ShowBars();

    if (const int64_t queued = QueuedSteps.exchange(0, std::memory_order_relaxed)) Step(queued);
    // A job of unknown size shows that it is alive by its animation.
    if (JobArea->currentWidget() == Animation) Step(1);
}

void TfProgress::StartShownJob(const TProgressSnapshot& state) {
    JobLine->setText(ToQString("Current job: " + state.JobCaption));
    Animation->Restart();
    const int64_t size = std::max<int64_t>(state.JobSize, 0);
    JobArea->setCurrentWidget(size > 0 ? static_cast<QWidget*>(JobBar) : Animation);
    JobMax = size;
    JobPos = 0;
    Pending = 0;
    // Each job takes an equal share of the overall bar, whatever its size.
    const int64_t share = size > 0 ? size : 1;
    OverallMax = share * std::max(state.JobCount, 1);
    OverallPos = std::min(share * state.JobIndex, OverallMax);
    ShownJobIndex = state.JobIndex;
    ShownJobCount = state.JobCount;
    ShownPosition = -1;
}

void TfProgress::ShowBars() {
    ShowOnBar(JobBar, JobPos, std::max<int64_t>(JobMax, 1));
    ShowOnBar(OverallBar, OverallPos, OverallMax);
}

int TfProgress::AnimationFrameCounter() const {
    return Animation->FrameCounter;
}

void TfProgress::LoadAnimation(int animation) {
    FrameList = AnimationFrames(animation);
    Animation->SetFrames(FrameList);
    AnimationNo = animation;
}

void TfProgress::Cancel() {
    RequestCancel();
    CancelButton->setEnabled(false);
}

void TfProgress::closeEvent(QCloseEvent* event) {
    // Closing the window asks the job to stop; the window goes when the run ends.
    event->ignore();
    Cancel();
}

void TfProgress::reject() {
    Cancel();
}

void TfProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterOnScreen(*this);
}

TfProgress& GetProgress(QWidget* parent) {
    if (!gProgress) {
        gProgress = new TfProgress(parent);
        gProgress->SetJobs(1, 0, false);
    }
    gProgress->show();
    gProgress->raise();
    return *gProgress;
}

void CloseProgress() {
    if (!gProgress) return;
    gProgress->SetAlive(false);
    delete gProgress.data();
}

bool IsProgressActive() {
    return gProgress && gProgress->Alive();
}

#pragma once
// The frames of the progress window's seven animations: one list of 16-pixel pictures drawn
// on white, each animation a run of consecutive frames of it.

#include <QImage>

#include <vector>

struct TAnimationRange {
    int First;
    int Count;
};

// The frame runs of animations 0 to 6; frame 25 of the list belongs to none.
inline constexpr TAnimationRange kAnimations[] = {{0, 2}, {2, 2}, {4, 3}, {7, 9}, {16, 2}, {18, 7}, {26, 4}};
inline constexpr int kAnimationCount = static_cast<int>(std::size(kAnimations));
inline constexpr int kFrameCount = 30;
inline constexpr int kFrameSize = 16;

// Frame number index (0 to kFrameCount - 1) of the list; a blank frame for any other number.
QImage AnimationFrame(int index);
// The frames of one animation; a number outside 0 to 6 gives animation 0's.
std::vector<QImage> AnimationFrames(int animation);

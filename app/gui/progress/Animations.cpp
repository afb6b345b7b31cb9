#include "app/gui/progress/Animations.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor kInk(0x24, 0x4a, 0x7a);
const QColor kAccent(0xe0, 0x7a, 0x1f);
const QColor kLight(0xb8, 0xcc, 0xe4);

// Animation 0: a log page whose lines are read one half after the other.
void DrawPage(QPainter& p, int step) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::white);
    p.drawRect(3, 1, 10, 13);
    for (int line = 0; line < 4; ++line) {
        const bool read = (line < 2) == (step == 0);
        p.setPen(QPen(read ? kAccent : kLight, 1));
        p.drawLine(5, 4 + 3 * line, 11, 4 + 3 * line);
    }
}

// Animation 1: a magnifier that moves over a line of text.
void DrawMagnifier(QPainter& p, int step) {
    p.setPen(QPen(kLight, 1));
    p.drawLine(1, 12, 14, 12);
    const int x = step == 0 ? 2 : 7;
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(x + 3.5, 5.5), 3.2, 3.2);
    p.drawLine(QPointF(x + 6, 8), QPointF(x + 8.5, 10.5));
}

// Animation 2: a bar chart growing bar by bar.
void DrawBars(QPainter& p, int step) {
    static const int heights[] = {6, 10, 13};
    p.setPen(QPen(kInk, 1));
    p.drawLine(1, 14, 14, 14);
    for (int bar = 0; bar <= step; ++bar)
        p.fillRect(2 + 4 * bar, 14 - heights[bar], 3, heights[bar], bar == step ? kAccent : kInk);
}

// Animation 3: a spinner of nine dots, the bright one going round.
void DrawSpinner(QPainter& p, int step) {
    p.setPen(Qt::NoPen);
    for (int dot = 0; dot < 9; ++dot) {
        const double angle = 2 * M_PI * dot / 9 - M_PI / 2;
        const int age = (step - dot + 9) % 9;
        p.setBrush(age == 0 ? kAccent : age < 3 ? kInk : kLight);
        p.drawEllipse(QPointF(8 + 5.5 * std::cos(angle), 8 + 5.5 * std::sin(angle)), 1.6, 1.6);
    }
}

// Animation 4: a ball bouncing on the ground.
void DrawBall(QPainter& p, int step) {
    p.setPen(QPen(kInk, 1));
    p.drawLine(1, 14, 14, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    if (step == 0)
        p.drawEllipse(QPointF(8, 4), 3, 3);
    else
        p.drawEllipse(QRectF(4.5, 9.5, 7, 4.5));
}

// Animation 5: an hourglass whose sand runs down in seven steps.
void DrawHourglass(QPainter& p, int step) {
    QPainterPath glass;
    glass.moveTo(3, 1);
    glass.lineTo(13, 1);
    glass.lineTo(8.5, 8);
    glass.lineTo(13, 15);
    glass.lineTo(3, 15);
    glass.lineTo(7.5, 8);
    glass.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    const double top = 6.0 * (6 - step) / 6, bottom = 6.0 * step / 6;
    if (top > 0) p.drawRect(QRectF(4, 7.5 - top, 8, top));
    if (bottom > 0) p.drawRect(QRectF(4, 14.5 - bottom, 8, bottom));
    // The glass: clears the sand outside its outline, then its frame.
    QPainterPath outside;
    outside.addRect(0, 0, 16, 16);
    p.setBrush(Qt::white);
    p.drawPath(outside.subtracted(glass));
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(glass);
}

// Animation 6: an arrow pointing right, then down, left and up.
void DrawArrow(QPainter& p, int step) {
    p.translate(8, 8);
    p.rotate(90.0 * step);
    QPainterPath arrow;
    arrow.moveTo(-6, -2);
    arrow.lineTo(1, -2);
    arrow.lineTo(1, -6);
    arrow.lineTo(7, 0);
    arrow.lineTo(1, 6);
    arrow.lineTo(1, 2);
    arrow.lineTo(-6, 2);
    arrow.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(step % 2 ? kAccent : kLight);
    p.drawPath(arrow);
}

using TDraw = void (*)(QPainter&, int);
constexpr TDraw kDrawers[] = {DrawPage, DrawMagnifier, DrawBars, DrawSpinner, DrawBall, DrawHourglass, DrawArrow};
static_assert(std::size(kDrawers) == std::size(kAnimations));

} // namespace

QImage AnimationFrame(int index) {
    QImage frame(kFrameSize, kFrameSize, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::white);
    for (int a = 0; a < kAnimationCount; ++a) {
        if (index < kAnimations[a].First || index >= kAnimations[a].First + kAnimations[a].Count) continue;
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        kDrawers[a](painter, index - kAnimations[a].First);
        break;
    }
    return frame;
}

std::vector<QImage> AnimationFrames(int animation) {
    const TAnimationRange range = kAnimations[animation >= 0 && animation < kAnimationCount ? animation : 0];
    std::vector<QImage> frames;
    for (int i = 0; i < range.Count; ++i)
        frames.push_back(AnimationFrame(range.First + i));
    return frames;
}

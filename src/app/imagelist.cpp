#include "app/imagelist.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace velmora::app {
namespace {

constexpr int kIconSize = 16;
constexpr int kWarningSize = 33;

using DrawFn = void (*)(QPainter&);

// ---- Shared drawing helpers -------------------------------------------------------------------

// A fill that runs from a light top to a darker bottom.
QLinearGradient verticalGradient(qreal top, qreal bottom, const QColor& light, const QColor& dark) {
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, light);
    g.setColorAt(1, dark);
    return g;
}

// A fill for round shapes: a highlight at the upper left fading into the base colour.
QRadialGradient ballGradient(const QRectF& r, const QColor& light, const QColor& base,
                             const QColor& dark) {
    const QPointF focal(r.left() + r.width() * 0.35, r.top() + r.height() * 0.3);
    QRadialGradient g(focal, r.width() * 0.75, focal);
    g.setColorAt(0, light);
    g.setColorAt(0.55, base);
    g.setColorAt(1, dark);
    return g;
}

QPen outlinePen(const QColor& color, qreal width = 1.0) {
    QPen pen(color, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// The filled outline of a line of the given width, so thick strokes get their own outline.
QPainterPath thickLine(const QPainterPath& centre, qreal width,
                       Qt::PenJoinStyle join = Qt::MiterJoin, Qt::PenCapStyle cap = Qt::FlatCap) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setJoinStyle(join);
    stroker.setCapStyle(cap);
    return stroker.createStroke(centre).simplified();
}

void fillOutlined(QPainter& p, const QPainterPath& path, const QBrush& fill,
                  const QColor& outline) {
    p.setPen(outlinePen(outline));
    p.setBrush(fill);
    p.drawPath(path);
}

void drawBall(QPainter& p, const QRectF& r, const QColor& light, const QColor& base,
              const QColor& dark, const QColor& outline) {
    p.setPen(outlinePen(outline));
    p.setBrush(ballGradient(r, light, base, dark));
    p.drawEllipse(r);
}

// A bright lamp sitting in a white ring.
void drawLamp(QPainter& p, const QColor& light, const QColor& base, const QColor& dark) {
    drawBall(p, QRectF(0.5, 0.5, 15, 15), Qt::white, QColor(0xf2, 0xf2, 0xf2),
             QColor(0xc4, 0xc4, 0xc4), QColor(0x6e, 0x6e, 0x6e));
    drawBall(p, QRectF(3.5, 3.5, 9, 9), light, base, dark, dark.darker(160));
}

void drawTick(QPainter& p, const QColor& color, qreal width) {
    QPainterPath tick;
    tick.moveTo(4, 8);
    tick.lineTo(6.8, 10.8);
    tick.lineTo(12, 4.8);
    QPen pen(color, width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

// A white sheet with its top right corner folded over.
void drawPageSheet(QPainter& p) {
    QPainterPath sheet;
    sheet.moveTo(2.5, 0.5);
    sheet.lineTo(9.5, 0.5);
    sheet.lineTo(13.5, 4.5);
    sheet.lineTo(13.5, 15.5);
    sheet.lineTo(2.5, 15.5);
    sheet.closeSubpath();
    fillOutlined(p, sheet, verticalGradient(0, 16, Qt::white, QColor(0xe8, 0xec, 0xf2)),
                 QColor(0x6a, 0x6a, 0x6a));

    QPainterPath fold;
    fold.moveTo(9.5, 0.5);
    fold.lineTo(9.5, 4.5);
    fold.lineTo(13.5, 4.5);
    fold.closeSubpath();
    fillOutlined(p, fold, QColor(0xd4, 0xd8, 0xe0), QColor(0x6a, 0x6a, 0x6a));
}

// The yellow warning triangle with an exclamation mark, for a square of `size` pixels.
void drawWarningTriangle(QPainter& p, int size) {
    const qreal s = size;
    const qreal unit = s / kIconSize;
    QPainterPath triangle;
    triangle.moveTo(s / 2, 0.5);
    triangle.lineTo(s - 0.5, s - 1.5);
    triangle.lineTo(0.5, s - 1.5);
    triangle.closeSubpath();
    fillOutlined(p, triangle,
                 verticalGradient(0, s, QColor(0xff, 0xf1, 0x8c), QColor(0xf5, 0xc2, 0x00)),
                 QColor(0x80, 0x5c, 0x00));

    // The mark: a bar narrowing downwards and a dot, both on whole pixels where possible.
    const qreal barWidth = std::round(2 * unit);
    const qreal left = std::round((s - barWidth) / 2);
    QPainterPath bar;
    bar.moveTo(left, std::round(5 * unit));
    bar.lineTo(left + barWidth, std::round(5 * unit));
    bar.lineTo(left + barWidth - 0.25 * unit, std::round(10 * unit));
    bar.lineTo(left + 0.25 * unit, std::round(10 * unit));
    bar.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(bar);
    p.drawRect(QRectF(left, std::round(11 * unit), barWidth, barWidth));
}

// ---- The pictures of the shared list --------------------------------------------------------

void drawQuestion(QPainter& p) {
    drawBall(p, QRectF(0.5, 0.5, 15, 15), QColor(0xff, 0xfb, 0xc8), QColor(0xff, 0xd8, 0x1a),
             QColor(0xe0, 0xa8, 0x00), QColor(0x8a, 0x62, 0x00));
    QPainterPath hook;
    hook.moveTo(5.5, 6.2);
    hook.arcTo(QRectF(5.5, 3.5, 5, 5), 180, -270);
    hook.lineTo(8, 10);
    QPen pen(QColor(0xd0, 0x10, 0x10), 2);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x10, 0x10));
    p.drawRect(QRectF(7, 11, 2, 2));
}

void drawGreenSquareTick(QPainter& p) {
    p.setPen(outlinePen(QColor(0x1e, 0x5a, 0x12)));
    p.setBrush(verticalGradient(1, 15, QColor(0xa6, 0xe8, 0x7c), QColor(0x3c, 0xa8, 0x2a)));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2, 2);
    drawTick(p, QColor(0x10, 0x30, 0x0c), 2.2);
}

void drawRedDiscCross(QPainter& p) {
    drawBall(p, QRectF(0.5, 0.5, 15, 15), QColor(0xff, 0x9a, 0x8a), QColor(0xe0, 0x20, 0x10),
             QColor(0xa8, 0x08, 0x00), QColor(0x6a, 0x00, 0x00));
    QPen pen(Qt::white, 2.2);
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(QPointF(5, 5), QPointF(11, 11));
    p.drawLine(QPointF(11, 5), QPointF(5, 11));
}

void drawGreenLamp(QPainter& p) {
    drawLamp(p, QColor(0xc8, 0xff, 0xb0), QColor(0x2c, 0xc8, 0x1c), QColor(0x10, 0x80, 0x08));
}

void drawRedLamp(QPainter& p) {
    drawLamp(p, QColor(0xff, 0xc0, 0xb0), QColor(0xe8, 0x20, 0x10), QColor(0xa0, 0x08, 0x00));
}

void drawOpenFolder(QPainter& p) {
    const QColor outline(0x86, 0x62, 0x0a);
    QPainterPath back;
    back.moveTo(0.5, 2.5);
    back.lineTo(5.5, 2.5);
    back.lineTo(6.5, 3.5);
    back.lineTo(12.5, 3.5);
    back.lineTo(12.5, 13.5);
    back.lineTo(0.5, 13.5);
    back.closeSubpath();
    fillOutlined(p, back,
                 verticalGradient(2, 14, QColor(0xf0, 0xc8, 0x50), QColor(0xc8, 0x94, 0x1c)),
                 outline);

    p.setPen(outlinePen(QColor(0x90, 0x90, 0x90)));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 5.5, 8, 5));

    QPainterPath front;
    front.moveTo(3.5, 7.5);
    front.lineTo(15.5, 7.5);
    front.lineTo(12.5, 13.5);
    front.lineTo(0.5, 13.5);
    front.closeSubpath();
    fillOutlined(p, front,
                 verticalGradient(7, 14, QColor(0xff, 0xec, 0x98), QColor(0xf4, 0xc0, 0x3c)),
                 outline);
}

void drawWasteBin(QPainter& p) {
    const QColor outline(0x3c, 0x40, 0x48);
    QPainterPath body;
    body.moveTo(3.5, 4.5);
    body.lineTo(12.5, 4.5);
    body.lineTo(11.5, 15.5);
    body.lineTo(4.5, 15.5);
    body.closeSubpath();
    QLinearGradient metal(3, 0, 13, 0);
    metal.setColorAt(0, QColor(0x9c, 0xa4, 0xb0));
    metal.setColorAt(0.4, QColor(0xf0, 0xf2, 0xf6));
    metal.setColorAt(1, QColor(0x80, 0x88, 0x94));
    fillOutlined(p, body, metal, outline);

    p.setPen(outlinePen(QColor(0x70, 0x78, 0x84)));
    p.drawLine(QPointF(6.5, 6.5), QPointF(6.8, 13.5));
    p.drawLine(QPointF(8.0, 6.5), QPointF(8.0, 13.5));
    p.drawLine(QPointF(9.5, 6.5), QPointF(9.2, 13.5));

    p.setPen(outlinePen(outline));
    p.setBrush(metal);
    p.drawRect(QRectF(6.5, 0.5, 3, 1.5));
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 2), 0.8, 0.8);
}

void drawWarning16(QPainter& p) {
    drawWarningTriangle(p, kIconSize);
}

void drawSpeechBubble(QPainter& p) {
    QPainterPath balloon;
    balloon.addRoundedRect(QRectF(0.5, 0.5, 15, 11), 3.5, 3.5);
    QPainterPath tail;
    tail.moveTo(3.5, 10);
    tail.lineTo(2.5, 15.5);
    tail.lineTo(8.5, 10);
    tail.closeSubpath();
    fillOutlined(p, balloon.united(tail),
                 verticalGradient(0, 16, Qt::white, QColor(0xd2, 0xe0, 0xf6)),
                 QColor(0x3c, 0x5c, 0x96));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1a, 0x46, 0xb4));
    p.drawRect(QRectF(7, 2, 2, 2));
    p.drawRect(QRectF(7, 5, 2, 5));
}

void drawScreenInfo(QPainter& p) {
    const QColor frame(0x44, 0x48, 0x50);
    p.setPen(outlinePen(frame));
    p.setBrush(verticalGradient(4, 14, QColor(0xd8, 0xdc, 0xe2), QColor(0x9c, 0xa2, 0xac)));
    p.drawRect(QRectF(5.5, 11.5, 3, 2));
    p.drawRect(QRectF(2.5, 13.5, 9, 1.5));
    p.drawRoundedRect(QRectF(0.5, 1.5, 13, 10), 1, 1);

    QLinearGradient glass(2, 3, 11, 10);
    glass.setColorAt(0, QColor(0x9c, 0xd4, 0xff));
    glass.setColorAt(1, QColor(0x1c, 0x5c, 0xc0));
    p.setPen(outlinePen(QColor(0x2c, 0x3c, 0x5c)));
    p.setBrush(glass);
    p.drawRect(QRectF(2.5, 3.5, 9, 6));

    // The badge in the lower right corner.
    drawBall(p, QRectF(7.5, 6.5, 8, 8), QColor(0x9c, 0xc8, 0xff), QColor(0x1c, 0x5c, 0xe0),
             QColor(0x0c, 0x30, 0x98), QColor(0x08, 0x1c, 0x60));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(11, 8, 1, 1));
    p.drawRect(QRectF(11, 10, 1, 3));
}

void drawCheckFrame(QPainter& p) {
    p.setPen(outlinePen(QColor(0x1c, 0x51, 0x80)));
    p.setBrush(verticalGradient(2, 14, QColor(0xdc, 0xdc, 0xd6), Qt::white));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
}

void drawEmptyBox(QPainter& p) {
    drawCheckFrame(p);
}

void drawTickedBox(QPainter& p) {
    drawCheckFrame(p);
    drawTick(p, QColor(0x21, 0xa1, 0x21), 2.4);
}

void drawBentArrow(QPainter& p) {
    QPainterPath shaft;
    shaft.moveTo(4, 15.5);
    shaft.lineTo(4, 10);
    shaft.quadTo(4, 6, 8, 6);
    shaft.lineTo(10, 6);
    QPainterPath head;
    head.moveTo(9.5, 0.5);
    head.lineTo(15.5, 6);
    head.lineTo(9.5, 11.5);
    head.closeSubpath();
    fillOutlined(p, thickLine(shaft, 4).united(head),
                 verticalGradient(0, 16, QColor(0x9c, 0xec, 0x6c), QColor(0x20, 0x98, 0x14)),
                 QColor(0x10, 0x50, 0x08));
}

void drawMoveBall(QPainter& p) {
    // One arrow pointing up, turned to the four sides; the ball covers their inner ends.
    QPainterPath up;
    up.moveTo(8, 0.5);
    up.lineTo(11, 3.5);
    up.lineTo(9.2, 3.5);
    up.lineTo(9.2, 6);
    up.lineTo(6.8, 6);
    up.lineTo(6.8, 3.5);
    up.lineTo(5, 3.5);
    up.closeSubpath();
    QPainterPath arrows;
    for (int quarter = 0; quarter < 4; ++quarter) {
        QTransform turn;
        turn.translate(8, 8);
        turn.rotate(90.0 * quarter);
        turn.translate(-8, -8);
        arrows = arrows.united(turn.map(up));
    }
    fillOutlined(p, arrows, QColor(0xff, 0xd8, 0x20), QColor(0x80, 0x60, 0x00));
    drawBall(p, QRectF(4.5, 4.5, 7, 7), QColor(0xb8, 0xdc, 0xff), QColor(0x20, 0x68, 0xe0),
             QColor(0x0c, 0x30, 0x98), QColor(0x06, 0x1a, 0x5c));
}

void drawBurst(QPainter& p) {
    // Rays of uneven length make it read as an explosion rather than a sun or a star.
    constexpr std::array kRayLengths{7.8, 6.4, 7.6, 6.8, 7.8, 6.2, 7.6, 6.6, 7.2};
    constexpr qreal kInner = 3.8;
    const int points = static_cast<int>(kRayLengths.size());
    QPolygonF star;
    for (int i = 0; i < points; ++i) {
        const qreal ray = std::numbers::pi * 2 * i / points - std::numbers::pi / 2;
        const qreal gap = ray + std::numbers::pi / points;
        star << QPointF(8 + kRayLengths[i] * std::cos(ray), 8 + kRayLengths[i] * std::sin(ray));
        star << QPointF(8 + kInner * std::cos(gap), 8 + kInner * std::sin(gap));
    }
    QPainterPath path;
    path.addPolygon(star);
    path.closeSubpath();
    QRadialGradient fire(QPointF(8, 8), 7.5);
    fire.setColorAt(0, QColor(0xff, 0xf0, 0x60));
    fire.setColorAt(0.4, QColor(0xff, 0x90, 0x10));
    fire.setColorAt(1, QColor(0xe0, 0x20, 0x00));
    p.setPen(outlinePen(QColor(0xa0, 0x14, 0x00)));
    p.setBrush(fire);
    p.drawPath(path);
}

void drawTextPage(QPainter& p) {
    drawPageSheet(p);
    const QColor ink(0x6c, 0x80, 0xa8);
    for (int y : {6, 8, 10, 12}) {
        const int right = (y == 12) ? 9 : 12;
        p.fillRect(QRect(4, y, right - 4, 1), ink);
    }
    p.fillRect(QRect(4, 4, 4, 1), ink);
}

void drawShapes(QPainter& p) {
    QPainterPath triangle;
    triangle.moveTo(8, 0.5);
    triangle.lineTo(12.5, 7.5);
    triangle.lineTo(3.5, 7.5);
    triangle.closeSubpath();
    fillOutlined(p, triangle,
                 verticalGradient(0, 8, QColor(0xb8, 0xf0, 0x90), QColor(0x38, 0xa8, 0x20)),
                 QColor(0x16, 0x50, 0x0c));

    p.setPen(outlinePen(QColor(0x0c, 0x28, 0x70)));
    p.setBrush(verticalGradient(8, 15, QColor(0xa8, 0xcc, 0xff), QColor(0x28, 0x5c, 0xd0)));
    p.drawRect(QRectF(0.5, 8.5, 7, 7));

    drawBall(p, QRectF(8.5, 8.5, 7, 7), QColor(0xff, 0xc0, 0xa8), QColor(0xe8, 0x28, 0x10),
             QColor(0xa0, 0x10, 0x00), QColor(0x60, 0x00, 0x00));
}

void drawRedCross(QPainter& p) {
    QPainterPath strokes;
    strokes.moveTo(3, 3);
    strokes.lineTo(13, 13);
    strokes.moveTo(13, 3);
    strokes.lineTo(3, 13);
    fillOutlined(p, thickLine(strokes, 3.6, Qt::MiterJoin, Qt::SquareCap),
                 verticalGradient(1, 15, QColor(0xff, 0x78, 0x60), QColor(0xc8, 0x10, 0x00)),
                 QColor(0x6c, 0x00, 0x00));
}

void drawGreenTick(QPainter& p) {
    QPainterPath tick;
    tick.moveTo(2, 8.5);
    tick.lineTo(6, 12.5);
    tick.lineTo(14, 3.5);
    fillOutlined(p, thickLine(tick, 3.6, Qt::MiterJoin, Qt::FlatCap),
                 verticalGradient(2, 15, QColor(0x90, 0xec, 0x60), QColor(0x18, 0x94, 0x10)),
                 QColor(0x0c, 0x4c, 0x06));
}

void drawRedDoor(QPainter& p) {
    // The frame, then the door leaf with two sunken panels and a brass knob.
    p.setPen(outlinePen(QColor(0x40, 0x30, 0x28)));
    p.setBrush(QColor(0x8c, 0x7c, 0x70));
    p.drawRect(QRectF(2.5, 0.5, 11, 15));

    p.setPen(outlinePen(QColor(0x60, 0x00, 0x00)));
    p.setBrush(verticalGradient(1, 15, QColor(0xf0, 0x48, 0x30), QColor(0xb0, 0x10, 0x00)));
    p.drawRect(QRectF(3.5, 1.5, 9, 14));

    p.setPen(outlinePen(QColor(0x80, 0x08, 0x00)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(5.5, 3.5, 3, 4));
    p.drawRect(QRectF(5.5, 9.5, 3, 4));

    drawBall(p, QRectF(9.5, 8, 2, 2), QColor(0xff, 0xf4, 0xa0), QColor(0xf0, 0xc0, 0x20),
             QColor(0xa0, 0x70, 0x00), QColor(0x60, 0x40, 0x00));
}

void drawWalker(QPainter& p) {
    // A dark figure striding to the right: it needs no outline to stand out on any background.
    QPainterPath limbs;
    limbs.moveTo(8.8, 5.2); // trunk
    limbs.lineTo(7.6, 9.6);
    limbs.moveTo(8.6, 5.6); // rear arm
    limbs.lineTo(6.4, 7.4);
    limbs.lineTo(5.2, 9.4);
    limbs.moveTo(8.6, 5.6); // front arm
    limbs.lineTo(10.4, 7.6);
    limbs.lineTo(12, 8.2);
    limbs.moveTo(7.6, 9.6); // front leg
    limbs.lineTo(9.8, 12);
    limbs.lineTo(10.4, 14.8);
    limbs.moveTo(7.6, 9.6); // rear leg
    limbs.lineTo(6.6, 12.4);
    limbs.lineTo(4, 14.6);

    QPainterPath figure = thickLine(limbs, 2, Qt::RoundJoin, Qt::RoundCap);
    figure.addEllipse(QPointF(9.6, 2.6), 1.9, 1.9);
    p.setPen(Qt::NoPen);
    p.setBrush(verticalGradient(0, 16, QColor(0x50, 0x54, 0x5c), QColor(0x18, 0x1a, 0x1e)));
    p.drawPath(figure.simplified());
}

void drawSlotBox(QPainter& p) {
    p.setPen(outlinePen(QColor(0x18, 0x18, 0x18)));
    p.setBrush(verticalGradient(3, 14, QColor(0x80, 0x80, 0x84), QColor(0x3a, 0x3a, 0x3e)));
    p.drawRoundedRect(QRectF(0.5, 3.5, 15, 10), 1.2, 1.2);
    p.setPen(outlinePen(QColor(0x70, 0x50, 0x00)));
    p.setBrush(QColor(0xff, 0xd2, 0x1c));
    p.drawRect(QRectF(3.5, 7.5, 9, 2));
}

struct Picture {
    int index;
    DrawFn draw;
};

// Which picture sits at which index of the shared list; the other indexes stay empty.
constexpr std::array kPictures{
    Picture{0, drawQuestion},    Picture{1, drawGreenSquareTick}, Picture{2, drawRedDiscCross},
    Picture{3, drawGreenLamp},   Picture{4, drawRedLamp},         Picture{5, drawOpenFolder},
    Picture{6, drawWasteBin},    Picture{11, drawWarning16},      Picture{12, drawSpeechBubble},
    Picture{13, drawScreenInfo}, Picture{14, drawEmptyBox},       Picture{15, drawTickedBox},
    Picture{18, drawBentArrow},  Picture{21, drawMoveBall},       Picture{23, drawBurst},
    Picture{25, drawTextPage},   Picture{26, drawShapes},         Picture{28, drawRedCross},
    Picture{29, drawGreenTick},  Picture{32, drawRedDoor},        Picture{33, drawWalker},
    Picture{34, drawSlotBox},
};

DrawFn drawerFor(int index) {
    const auto* it = std::find_if(kPictures.begin(), kPictures.end(),
                                  [index](const Picture& pic) { return pic.index == index; });
    return it == kPictures.end() ? nullptr : it->draw;
}

// Draws on a transparent image of one device pixel per point, so the result does not depend on
// the screen the program runs on.
template <typename Draw> QPixmap render(int size, Draw draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
    }
    return QPixmap::fromImage(image);
}

} // namespace

QPixmap imageListPixmap(int index) {
    const DrawFn draw = drawerFor(index);
    return render(kIconSize, [draw](QPainter& p) {
        if (draw != nullptr)
            draw(p);
    });
}

bool imageListHasPicture(int index) {
    return drawerFor(index) != nullptr;
}

const QList<QIcon>& imageList1() {
    static const QList<QIcon> icons = [] {
        QList<QIcon> list;
        list.reserve(kImageListSize);
        for (int i = 0; i < kImageListSize; ++i) {
            // A selected row shows its mark as it is, not tinted by the style.
            const QPixmap picture = imageListPixmap(i);
            QIcon icon(picture);
            icon.addPixmap(picture, QIcon::Selected);
            list.append(icon);
        }
        return list;
    }();
    return icons;
}

QIcon imageListIcon(int index) {
    const QList<QIcon>& icons = imageList1();
    if (index < 0 || index >= icons.size())
        return QIcon();
    return icons.at(index);
}

QPixmap warningPicture33() {
    return render(kWarningSize, [](QPainter& p) { drawWarningTriangle(p, kWarningSize); });
}

QPixmap blankPagePicture() {
    return render(kIconSize, drawPageSheet);
}

QImage programIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(1);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / qreal(kIconSize);
        painter.save();
        painter.scale(unit * 0.9, unit * 0.9);
        drawTextPage(painter);
        painter.restore();
        painter.translate(size * 0.38, size * 0.38);
        painter.scale(unit * 0.62, unit * 0.62);
        drawBentArrow(painter);
    }
    return image;
}

QList<int> programIconSizes() {
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QIcon programIcon() {
    QIcon icon;
    for (int size : programIconSizes())
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    return icon;
}

} // namespace velmora::app

// wordpop-button-images: draws the shared button images at build time and writes them as pixel
// data for src/platform/Images.cpp, so that a start shows them without running the painter.
//   wordpop-button-images <header to write>
// Relies on the indexes and size of platform/Images.h.
#include "platform/Images.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>

namespace {

using Draw = void (*)(QPainter &);

QPen pen(const QColor &c, qreal w = 2.2)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawConfirm(QPainter &p)
{
    p.setPen(pen(QColor(0x1e, 0x8c, 0x2f), 3.0));
    p.drawPolyline(QPolygonF({QPointF(5, 10.5), QPointF(9, 15), QPointF(17, 5)}));
}

void drawRefuse(QPainter &p)
{
    p.setPen(pen(QColor(0xc6, 0x28, 0x28), 3.0));
    p.drawLine(QPointF(6, 5), QPointF(16, 15));
    p.drawLine(QPointF(16, 5), QPointF(6, 15));
}

void drawAdd(QPainter &p)
{
    p.setPen(pen(QColor(0x15, 0x65, 0xc0), 3.0));
    p.drawLine(QPointF(11, 4), QPointF(11, 16));
    p.drawLine(QPointF(5, 10), QPointF(17, 10));
}

void drawSelectNone(QPainter &p)
{
    p.setPen(pen(QColor(0x55, 0x55, 0x55), 1.6));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 4.5, 11, 11));
    p.setPen(pen(QColor(0xc6, 0x28, 0x28), 2.2));
    p.drawLine(QPointF(8, 10), QPointF(14, 10));
}

void drawPlay(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x37, 0x47, 0x4f));
    p.drawPolygon(QPolygonF({QPointF(3, 8), QPointF(7, 8), QPointF(12, 4), QPointF(12, 16), QPointF(7, 12),
                             QPointF(3, 12)}));
    p.setBrush(Qt::NoBrush);
    p.setPen(pen(QColor(0x15, 0x65, 0xc0), 1.6));
    p.drawArc(QRectF(9, 6, 6, 8), -60 * 16, 120 * 16);
    p.drawArc(QRectF(8, 3, 11, 14), -60 * 16, 120 * 16);
}

void drawInformation(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x15, 0x65, 0xc0));
    p.drawEllipse(QRectF(3, 2, 16, 16));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(9.8, 4.5, 2.4, 2.4));
    p.drawRect(QRectF(9.9, 8, 2.2, 7));
}

void drawOptions(QPainter &p)
{
    // A gear: eight teeth round a ring.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x60, 0x6a, 0x73));
    const QPointF c(11, 10);
    QPainterPath gear;
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotateRadians(a);
        gear.addPolygon(t.map(QPolygonF(QRectF(-1.6, -8, 3.2, 4))));
    }
    gear.addEllipse(c, 5.5, 5.5);
    p.drawPath(gear.simplified());
    p.setBrush(Qt::white);
    p.drawEllipse(c, 2.2, 2.2);
}

void drawDownload(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1e, 0x8c, 0x2f));
    p.drawPolygon(QPolygonF({QPointF(8, 2), QPointF(14, 2), QPointF(14, 9), QPointF(18, 9), QPointF(11, 16),
                             QPointF(4, 9), QPointF(8, 9)}));
    p.setBrush(QColor(0x55, 0x55, 0x55));
    p.drawRect(QRectF(3, 17, 16, 2));
}

void drawPickFile(QPainter &p)
{
    p.setPen(pen(QColor(0x9a, 0x6b, 0x00), 1.2));
    p.setBrush(QColor(0xf2, 0xc1, 0x4e));
    p.drawPolygon(QPolygonF({QPointF(2.5, 5.5), QPointF(8, 5.5), QPointF(10, 7.5), QPointF(19.5, 7.5),
                             QPointF(19.5, 16.5), QPointF(2.5, 16.5)}));
}

void drawDictionaries(QPainter &p)
{
    const QColor covers[3] = {QColor(0xc6, 0x28, 0x28), QColor(0x15, 0x65, 0xc0), QColor(0x1e, 0x8c, 0x2f)};
    p.setPen(pen(QColor(0x30, 0x30, 0x30), 1.0));
    for (int i = 0; i < 3; ++i) {
        p.setBrush(covers[i]);
        p.drawRect(QRectF(3.5 + i * 5, 3.5, 4, 14));
    }
}

void drawEditWord(QPainter &p)
{
    p.setPen(pen(QColor(0x30, 0x30, 0x30), 1.0));
    p.setBrush(QColor(0xf2, 0xc1, 0x4e));
    p.drawPolygon(QPolygonF({QPointF(14, 3), QPointF(18, 7), QPointF(8, 17), QPointF(4, 17), QPointF(4, 13)}));
    p.setBrush(QColor(0xe5, 0x73, 0x73));
    p.drawPolygon(QPolygonF({QPointF(14, 3), QPointF(18, 7), QPointF(16.5, 8.5), QPointF(12.5, 4.5)}));
}

void drawPin(QPainter &p, bool pinned)
{
    p.setPen(pen(QColor(0x30, 0x30, 0x30), 1.4));
    if (pinned) {
        // Pin pushed in, seen from above: head and a short needle.
        p.setBrush(QColor(0xc6, 0x28, 0x28));
        p.drawEllipse(QRectF(6, 3, 10, 10));
        p.drawLine(QPointF(11, 13), QPointF(11, 18));
    } else {
        // Pin lying on its side, ready to be pushed in.
        p.setBrush(QColor(0x90, 0x90, 0x90));
        p.drawRect(QRectF(7, 6, 7, 8));
        p.drawLine(QPointF(14, 10), QPointF(20, 10));
        p.drawLine(QPointF(4, 5), QPointF(4, 15));
        p.drawLine(QPointF(4, 10), QPointF(7, 10));
    }
}

void drawPinOff(QPainter &p) { drawPin(p, false); }
void drawPinOn(QPainter &p) { drawPin(p, true); }

} // namespace

int main(int argc, char **argv)
{
    // No display is needed to paint into images.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: wordpop-button-images <header to write>\n");
        return 2;
    }
    Draw draws[TImageList::Count] = {};
    draws[TImageList::Confirm] = drawConfirm;
    draws[TImageList::Refuse] = drawRefuse;
    draws[TImageList::Add] = drawAdd;
    draws[TImageList::SelectNone] = drawSelectNone;
    draws[TImageList::Play] = drawPlay;
    draws[TImageList::Information] = drawInformation;
    draws[TImageList::Options] = drawOptions;
    draws[TImageList::Download] = drawDownload;
    draws[TImageList::PickFile] = drawPickFile;
    draws[TImageList::Dictionaries] = drawDictionaries;
    draws[TImageList::EditWord] = drawEditWord;
    draws[TImageList::PinOff] = drawPinOff;
    draws[TImageList::PinOn] = drawPinOn;

    QByteArray out = "// Made by wordpop-button-images at build time; do not edit.\n"
                     "// Premultiplied ARGB, one row after another; null where an index has no image.\n"
                     "#pragma once\n#include <cstdint>\n\n";
    QByteArray table = "constexpr const std::uint32_t *kButtonImages[] = {";
    for (int i = 0; i < TImageList::Count; ++i) {
        if (!draws[i]) {
            table += "nullptr, ";
            continue;
        }
        QImage image(TImageList::Width, TImageList::Height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        draws[i](p);
        p.end();
        out += "constexpr std::uint32_t kButtonImage" + QByteArray::number(i) + "[] = {";
        for (int y = 0; y < image.height(); ++y) {
            out += "\n   ";
            const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                out += " 0x" + QByteArray::number(row[x], 16).rightJustified(8, '0') + "u,";
        }
        out += "\n};\n";
        table += "kButtonImage" + QByteArray::number(i) + ", ";
    }
    out += "\n" + table + "};\n";

    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(out) != out.size()) {
        std::fprintf(stderr, "wordpop-button-images: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

#include "tools/artgen/Icon.h"

#include <QBuffer>
#include <QDataStream>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace artgen {

namespace {

// An arrow from `tail` to `tip` in the icon's 32-unit space.
QPainterPath Arrow(QPointF tail, QPointF tip, double shaft, double head, double headLength) {
    const QPointF d = tip - tail;
    const double len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    const QPointF neck = tip - u * headLength;
    QPainterPath path;
    path.moveTo(tail + n * shaft);
    path.lineTo(neck + n * shaft);
    path.lineTo(neck + n * head);
    path.lineTo(tip);
    path.lineTo(neck - n * head);
    path.lineTo(neck - n * shaft);
    path.lineTo(tail - n * shaft);
    path.closeSubpath();
    return path;
}

void DrawArrow(QPainter& p, const QPainterPath& path, QColor light, QColor dark, QColor outline) {
    const QRectF box = path.boundingRect();
    QLinearGradient g(box.topLeft(), box.bottomRight());
    g.setColorAt(0.0, light);
    g.setColorAt(1.0, dark);
    p.setBrush(g);
    p.setPen(QPen(outline, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

}  // namespace

QImage AppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // Both arrows lie along the diagonal, the blue one shifted down-left and the
    // red one up-right, so that their shafts overlap in the middle.
    const QPointF shift(-1.9, 1.9);
    DrawArrow(p, Arrow(QPointF(24.5, 24.5) + shift, QPointF(3.5, 3.5) + shift, 2.8, 6.4, 10.0),
              QColor(0x6a, 0x9c, 0xff), QColor(0x00, 0x2a, 0xb8), QColor(0x0a, 0x14, 0x50));
    DrawArrow(p, Arrow(QPointF(7.5, 7.5) - shift, QPointF(28.5, 28.5) - shift, 2.8, 6.4, 10.0),
              QColor(0xff, 0x7a, 0x62), QColor(0xb4, 0x00, 0x00), QColor(0x48, 0x04, 0x04));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray IcoFile(const std::vector<QImage>& pictures) {
    std::vector<QByteArray> entries;
    for (const QImage& source : pictures) {
        const QImage img = source.convertToFormat(QImage::Format_ARGB32);
        const int w = img.width();
        const int h = img.height();
        QByteArray data;
        QDataStream out(&data, QIODevice::WriteOnly);
        out.setByteOrder(QDataStream::LittleEndian);
        const int maskStride = ((w + 31) / 32) * 4;
        const quint32 imageBytes = quint32(w * h * 4 + maskStride * h);
        // BITMAPINFOHEADER; the height counts the colour rows and the mask rows.
        out << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(32) << quint32(0)
            << imageBytes << qint32(0) << qint32(0) << quint32(0) << quint32(0);
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < w; ++x) {
                const QRgb c = img.pixel(x, y);
                out << quint8(qBlue(c)) << quint8(qGreen(c)) << quint8(qRed(c))
                    << quint8(qAlpha(c));
            }
        }
        for (int y = h - 1; y >= 0; --y) {
            QByteArray row(maskStride, '\0');
            for (int x = 0; x < w; ++x) {
                if (qAlpha(img.pixel(x, y)) == 0) {
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
                }
            }
            out.writeRawData(row.constData(), int(row.size()));
        }
        entries.push_back(data);
    }
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(entries.size());
    quint32 offset = 6 + 16 * quint32(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const int w = pictures[i].width();
        const int h = pictures[i].height();
        out << quint8(w >= 256 ? 0 : w) << quint8(h >= 256 ? 0 : h) << quint8(0) << quint8(0)
            << quint16(1) << quint16(32) << quint32(entries[i].size()) << offset;
        offset += quint32(entries[i].size());
    }
    for (const QByteArray& e : entries) {
        out.writeRawData(e.constData(), int(e.size()));
    }
    return file;
}

}  // namespace artgen

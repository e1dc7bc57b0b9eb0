// make_icon: the program's icon, the trip computer's screen showing "2000"
// in the display's own digit font, as SVG or as a PNG of a given size. One
// drawing for both, so the sizes never drift apart, and no system font is
// needed at build time.
//
//   make_icon --svg FILE          (data/tripconf.svg is its output)
//   make_icon --png SIZE FILE

#include "model/fonts.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>
#include <vector>

namespace {

// The drawing, in a 64 x 64 box.
struct Box {
    double x, y, w, h, radius;
    const char* colour;
};
constexpr Box kBoxes[] = {
    {2, 6, 60, 52, 8, "#3c3c40"},  // housing
    {8, 12, 48, 40, 0, "#000000"}, // screen
    {8, 42, 48, 10, 0, "#0000ce"}, // lower band
    {12, 45, 28, 4, 0, "#ffff00"}, // caption bar
};
constexpr const char* kDigitColour = "#00ff00";
constexpr const char* kDigits = "2000";
// Glyph pixels to icon units, and where the text's top left corner sits.
constexpr double kScale = 0.45;
constexpr double kLeft = 32 - 4 * 24 * kScale / 2;
constexpr double kTop = 27 - 48 * kScale / 2;

struct Run {
    int x, y, w; // glyph pixels, one row high
};

// The set pixels of the text as horizontal runs, in glyph pixels.
std::vector<Run> DigitRuns() {
    std::vector<Run> runs;
    const int rowBytes = DigitFont.Width / 8;
    for (int d = 0; kDigits[d]; ++d) {
        // Digit glyphs follow blank, "+", "-", "." and ":".
        const uint8_t* glyph =
            DigitFont.Table + (5 + kDigits[d] - '0') * rowBytes * DigitFont.Height;
        for (int y = 0; y < DigitFont.Height; ++y) {
            int start = -1;
            for (int x = 0; x <= DigitFont.Width; ++x) {
                const bool on =
                    x < DigitFont.Width && (glyph[y * rowBytes + x / 8] & (0x80 >> (x % 8)));
                if (on && start < 0)
                    start = x;
                if (!on && start >= 0) {
                    runs.push_back({d * DigitFont.Width + start, y, x - start});
                    start = -1;
                }
            }
        }
    }
    return runs;
}

QByteArray Svg() {
    QByteArray out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                     "viewBox=\"0 0 64 64\">\n";
    for (const Box& b : kBoxes) {
        out += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"")
                   .arg(b.x)
                   .arg(b.y)
                   .arg(b.w)
                   .arg(b.h)
                   .toLatin1();
        if (b.radius > 0)
            out += " rx=\"" + QByteArray::number(b.radius) + '"';
        out += QByteArray(" fill=\"") + b.colour + "\"/>\n";
    }
    out += QStringLiteral("  <path transform=\"translate(%1 %2) scale(%3)\" fill=\"%4\" d=\"")
               .arg(kLeft)
               .arg(kTop)
               .arg(kScale)
               .arg(QString::fromLatin1(kDigitColour))
               .toLatin1();
    bool first = true;
    for (const Run& r : DigitRuns()) {
        if (!first)
            out += ' ';
        first = false;
        out += QStringLiteral("M%1 %2h%3v1h-%3z").arg(r.x).arg(r.y).arg(r.w).toLatin1();
    }
    out += "\"/>\n</svg>\n";
    return out;
}

QImage Png(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    for (const Box& b : kBoxes) {
        p.setBrush(QColor(QString::fromLatin1(b.colour)));
        p.drawRoundedRect(QRectF(b.x, b.y, b.w, b.h), b.radius, b.radius);
    }
    // One path, so neighbouring runs leave no seams.
    QPainterPath digits;
    digits.setFillRule(Qt::WindingFill);
    for (const Run& r : DigitRuns())
        digits.addRect(r.x, r.y, r.w, 1);
    p.translate(kLeft, kTop);
    p.scale(kScale, kScale);
    p.fillPath(digits, QColor(QString::fromLatin1(kDigitColour)));
    p.end();
    return image;
}

} // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (mode == QStringLiteral("--svg") && argc == 3) {
        QFile f(QFile::decodeName(argv[2]));
        if (f.open(QIODevice::WriteOnly) && f.write(Svg()) >= 0 && f.flush())
            return 0;
    } else if (mode == QStringLiteral("--png") && argc == 4) {
        const int size = QString::fromLatin1(argv[2]).toInt();
        if (size >= 16 && size <= 1024 && Png(size).save(QFile::decodeName(argv[3]), "PNG"))
            return 0;
    } else {
        std::fprintf(stderr, "Usage: make_icon --svg FILE | --png SIZE FILE\n");
        return 2;
    }
    std::fprintf(stderr, "make_icon: cannot write %s\n", argv[argc - 1]);
    return 1;
}

#include "core/protocol.h"
#include "model/fonts.h"
#include "model/mk.h"
#include "model/preview.h"
#include "support/errors.h"

#include <QTemporaryDir>
#include <QtTest>

#include <initializer_list>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kDarkBlue = qRgb(0, 0, 206);
const QRgb kBlue = qRgb(0, 0, 255);

// Pixels of r (inclusive corners) with colour c.
int Count(const QImage& img, QRect r, QRgb c) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += img.pixel(x, y) == c;
    return n;
}

bool Only(const QImage& img, QRect r, std::initializer_list<QRgb> colours) {
    int n = 0;
    for (QRgb c : colours)
        n += Count(img, r, c);
    return n == r.width() * r.height();
}

bool FontBit(const TBitmapFont& f, int g, int x, int y) {
    const int rowBytes = f.Width / 8;
    return (f.Table[(g * f.Height + y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
}

// Compares the first `rows` rows of the cell at (x0, y0) with glyph g; empty when equal.
QString GlyphMismatch(const QImage& img, int x0, int y0, const TBitmapFont& f, int g, QRgb ink,
                      QRgb paper, int rows) {
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < f.Width; ++x)
            if (img.pixel(x0 + x, y0 + y) != (FontBit(f, g, x, y) ? ink : paper))
                return QStringLiteral("glyph %1 differs at (%2, %3)")
                    .arg(g)
                    .arg(x0 + x)
                    .arg(y0 + y);
    return {};
}

bool Blank(const TBitmapFont& f, int g) {
    const int n = f.Width / 8 * f.Height;
    return std::all_of(f.Table + g * n, f.Table + (g + 1) * n, [](uint8_t b) { return b == 0; });
}

QByteArray Glyph(const TBitmapFont& f, int g) {
    const int n = f.Width / 8 * f.Height;
    return QByteArray(reinterpret_cast<const char*>(f.Table + g * n), n);
}

// The editor's drawing, on the renderer the model owns.
QImage Render(TMK& mk) {
    return mk.Preview.RenderPreview(mk.PreviewSource());
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void defaultColours() {
        TMK mk;
        const QImage img = Render(mk);
        QCOMPARE(img.size(), QSize(128, 128));

        // Upper half: "2000" right-aligned from x 32 on black; the band hides
        // the digit cells' last 6 rows.
        QVERIFY(Only(img, QRect(0, 0, 32, 42), {kBlack}));
        for (int i = 0; i < 4; ++i) {
            const int g = i == 0 ? 7 : 5; // "2", "0"
            const QString m = GlyphMismatch(img, 32 + 24 * i, 0, DigitFont, g, kGreen, kBlack, 42);
            QVERIFY2(m.isEmpty(), qPrintable(m));
        }
        QVERIFY(Count(img, QRect(32, 0, 96, 42), kGreen) > 0);

        // Band 42..63 dark blue; "ОБОРОТЫ/МИН" in yellow at x 0..87, y 45..60.
        QVERIFY(Only(img, QRect(0, 42, 128, 3), {kDarkBlue}));
        QVERIFY(Only(img, QRect(0, 61, 128, 3), {kDarkBlue}));
        QVERIFY(Only(img, QRect(88, 45, 40, 16), {kDarkBlue}));
        QVERIFY(Only(img, QRect(0, 45, 88, 16), {kYellow, kDarkBlue}));
        const QString m = GlyphMismatch(img, 0, 45, SmallFont, 0xCE - 0x60, kYellow, kDarkBlue, 16);
        QVERIFY2(m.isEmpty(), qPrintable(m)); // "О"
        QVERIFY(Count(img, QRect(80, 45, 8, 16), kYellow) > 0);

        // Lower half: " 90" from x 56, its blank cell in background 1.
        QVERIFY(Only(img, QRect(0, 64, 80, 42), {kBlack}));
        QVERIFY(GlyphMismatch(img, 80, 64, DigitFont, 14, kGreen, kBlack, 42).isEmpty());
        QVERIFY(GlyphMismatch(img, 104, 64, DigitFont, 5, kGreen, kBlack, 42).isEmpty());
        QVERIFY(Count(img, QRect(80, 64, 48, 42), kGreen) > 0);

        // Band 106..127; "ТЕМПЕРАТ. ОЖ, С" at x 0..119, y 109..124.
        QVERIFY(Only(img, QRect(0, 106, 128, 3), {kDarkBlue}));
        QVERIFY(Only(img, QRect(0, 125, 128, 3), {kDarkBlue}));
        QVERIFY(Only(img, QRect(120, 109, 8, 16), {kDarkBlue}));
        QVERIFY(Only(img, QRect(0, 109, 120, 16), {kYellow, kDarkBlue}));
        QVERIFY(Count(img, QRect(112, 109, 8, 16), kYellow) > 0); // "С"
        QVERIFY(Count(img, QRect(72, 109, 8, 16), kYellow) == 0); // blank after "."

        // The window's corner picture: the same, without a settings model.
        QCOMPARE(PreviewImage(TSettingsRecord::Defaults()), img);

        // MediumFont stays selected.
        QCOMPARE(mk.Preview.GlyphTable, MediumFont.Table);
        QCOMPARE(mk.Preview.GlyphWidth, 16);
        QCOMPARE(mk.Preview.GlyphHeight, 32);
        QVERIFY(mk.Preview.TextMode);
    }

    void colourChanges() {
        TMK mk;
        Render(mk);
        mk.Settings.DigitBack2 = 12;
        QImage img = Render(mk);
        QCOMPARE(Count(img, img.rect(), kDarkBlue), 0);
        QVERIFY(Only(img, QRect(0, 42, 128, 3), {kBlue}));
        QVERIFY(Only(img, QRect(0, 106, 128, 3), {kBlue}));
        QVERIFY(Only(img, QRect(0, 45, 88, 16), {kYellow, kBlue}));
        QVERIFY(Only(img, QRect(0, 109, 120, 16), {kYellow, kBlue}));
        QVERIFY(Only(img, QRect(0, 0, 128, 42), {kGreen, kBlack}));

        // Colour 1 white on background 1 dark red (132, 32, 33), caption ink black.
        mk.Settings.DigitColor1 = 15;
        mk.Settings.DigitBack1 = 1;
        mk.Settings.DigitColor2 = 0;
        img = Render(mk);
        const QRgb white = qRgb(255, 255, 255), red = qRgb(132, 32, 33);
        QVERIFY(Only(img, QRect(0, 0, 32, 42), {red}));
        QVERIFY(GlyphMismatch(img, 32, 0, DigitFont, 7, white, red, 42).isEmpty());
        QVERIFY(Only(img, QRect(0, 109, 120, 16), {kBlack, kBlue}));
        QVERIFY(Count(img, QRect(0, 109, 120, 16), kBlack) > 0);

        // A colour byte beyond the palette uses its low four bits instead of
        // reading past the 16 entries.
        mk.Settings.DigitBack1 = 0x1C;
        img = Render(mk);
        QVERIFY(Only(img, QRect(0, 64, 80, 42), {kBlue}));
    }

    void missingParameterAndClipping() {
        TMK mk;
        mk.Preview.DrawPreview(mk.PreviewSource(), 1, 200);
        const QImage img = mk.Preview.PreviewBitmap;
        QVERIFY(Only(img, QRect(0, 64, 128, 42), {kBlack}));
        QVERIFY(Only(img, QRect(0, 106, 128, 22), {kDarkBlue}));

        // Drawing partly outside the bitmap paints what lies inside.
        mk.Preview.InkColour = 0xFFFF;
        mk.Preview.PaperColour = 0xF800;
        mk.Preview.SelectDigitFont();
        mk.Preview.OriginX = -12;
        mk.Preview.OriginY = 100;
        mk.Preview.DrawTextAt(0, 0, QStringLiteral("88"));
        QCOMPARE(mk.Preview.CursorCol, 2);
        QVERIFY(Only(mk.Preview.PreviewBitmap, QRect(0, 100, 36, 28),
                     {qRgb(255, 255, 255), qRgb(255, 0, 0)}));
        mk.Preview.OriginX = 120;
        mk.Preview.OriginY = -5;
        mk.Preview.FillPreviewRect(20, 10);
        QVERIFY(Only(mk.Preview.PreviewBitmap, QRect(120, 0, 8, 5), {qRgb(255, 0, 0)}));
    }

    void fontTables() {
        QCOMPARE(sizeof(kSmallFontGlyphs), size_t(2560));
        QCOMPARE(sizeof(kMediumFontGlyphs), size_t(10240));
        QCOMPARE(sizeof(kDigitFontGlyphs), size_t(2304));
        QCOMPARE(DigitFont.Count * 3 * 48, 2304);

        QVERIFY(Blank(DigitFont, 0));
        for (int g = 1; g < 16; ++g) {
            QVERIFY2(!Blank(DigitFont, g), qPrintable(QString::number(g)));
            for (int h = 1; h < g; ++h)
                QVERIFY(Glyph(DigitFont, g) != Glyph(DigitFont, h));
            // Nothing in the rows the caption band covers.
            for (int y = 42; y < 48; ++y)
                for (int x = 0; x < 24; ++x)
                    QVERIFY(!FontBit(DigitFont, g, x, y));
        }

        for (const TBitmapFont* f : {&SmallFont, &MediumFont}) {
            QVERIFY(Blank(*f, 0));
            for (int g = 1; g < 95; ++g) // "!".."~"
                QVERIFY(!Blank(*f, g));
            // The 64 letters "А".."я" are all there and all different.
            for (int g = 96; g < 160; ++g) {
                QVERIFY(!Blank(*f, g));
                for (int h = 96; h < g; ++h)
                    QVERIFY(Glyph(*f, g) != Glyph(*f, h));
            }
        }
    }

    void textModeCharacters() {
        TMK mk;
        mk.Preview.SelectSmallFont();
        mk.Preview.InkColour = 0xFFFF;
        mk.Preview.PaperColour = 0x0000;
        mk.Preview.SetCursor(0, 0);
        const QImage before = mk.Preview.PreviewBitmap.copy();
        for (int ch : {0x00, 0x0A, 0x1F, 0x80, 0x98, 0xA8, 0xB8, 0xBF}) {
            QCOMPARE(mk.Preview.GlyphIndex(uint8_t(ch)), -1);
            mk.Preview.DrawChar(uint8_t(ch));
            QCOMPARE(mk.Preview.CursorCol, 0);
        }
        mk.Preview.DrawText(QStringLiteral("\u0401\u0451\t")); // Ё ё and a tab: skipped
        QCOMPARE(mk.Preview.CursorCol, 0);
        QCOMPARE(mk.Preview.PreviewBitmap, before);

        QCOMPARE(mk.Preview.GlyphIndex(0x20), 0);
        QCOMPARE(mk.Preview.GlyphIndex('A'), 0x21);
        QCOMPARE(mk.Preview.GlyphIndex(0x7F), 95);
        QCOMPARE(mk.Preview.GlyphIndex(0xC0), 96);
        QCOMPARE(mk.Preview.GlyphIndex(0xFF), 159);
        mk.Preview.DrawText(QStringLiteral("A\u0416")); // "Ж" is 0xC6
        QCOMPARE(mk.Preview.CursorCol, 2);
        const QRgb white = qRgb(255, 255, 255);
        QVERIFY(GlyphMismatch(mk.Preview.PreviewBitmap, 0, 0, SmallFont, 0x21, white, kBlack, 16)
                    .isEmpty());
        QVERIFY(
            GlyphMismatch(mk.Preview.PreviewBitmap, 8, 0, SmallFont, 0xC6 - 0x60, white, kBlack, 16)
                .isEmpty());

        // 16 x 8 cells: the last one draws, the next column and row do not.
        mk.Preview.PaperColour = 0xF800;
        mk.Preview.SetCursor(7, 15);
        mk.Preview.DrawChar(' ');
        QCOMPARE(mk.Preview.CursorCol, 16);
        QVERIFY(Only(mk.Preview.PreviewBitmap, QRect(120, 112, 8, 16), {qRgb(255, 0, 0)}));
        const QImage full = mk.Preview.PreviewBitmap.copy();
        mk.Preview.DrawChar(' ');
        mk.Preview.SetCursor(8, 0);
        mk.Preview.DrawChar(' ');
        mk.Preview.SetCursor(-1, 0);
        mk.Preview.DrawChar(' ');
        QCOMPARE(mk.Preview.CursorCol, 0);
        QCOMPARE(mk.Preview.PreviewBitmap, full);

        // DigitFont: 5 x 2 cells.
        mk.Preview.SelectDigitFont();
        mk.Preview.SetCursor(1, 4);
        mk.Preview.DrawChar('1');
        QCOMPARE(mk.Preview.CursorCol, 5);
        mk.Preview.DrawChar('1');
        QCOMPARE(mk.Preview.CursorCol, 5);
    }

    void digitFontMapping() {
        TMK mk;
        mk.Preview.SelectDigitFont();
        QVERIFY(!mk.Preview.TextMode);
        const char* chars = "+-.:0123456789T";
        for (int i = 0; chars[i]; ++i)
            QCOMPARE(mk.Preview.GlyphIndex(uint8_t(chars[i])), i + 1);
        QCOMPARE(mk.Preview.GlyphIndex('D'), 16);
        QCOMPARE(mk.Preview.GlyphIndex('N'), 17);
        QCOMPARE(mk.Preview.GlyphIndex('P'), 18);
        QCOMPARE(mk.Preview.GlyphIndex('R'), 19);
        for (int ch : {0x20, 0x41, 0x64, 0x74, 0x00, 0x1F, 0xC0, 0xFF}) // blank A d t ...
            QCOMPARE(mk.Preview.GlyphIndex(uint8_t(ch)), 0);

        // No glyph for 16..19: the cell is painted blank and the cursor moves;
        // control characters are drawn as blanks too.
        mk.Preview.InkColour = 0xFFFF;
        mk.Preview.PaperColour = 0x001F;
        mk.Preview.DrawTextAt(0, 0, QStringLiteral("DNPR\x01"));
        QCOMPARE(mk.Preview.CursorCol, 5);
        QVERIFY(Only(mk.Preview.PreviewBitmap, QRect(0, 0, 120, 48), {kBlue}));
        mk.Preview.DrawTextAt(1, 0, QStringLiteral("T1"));
        QVERIFY(GlyphMismatch(mk.Preview.PreviewBitmap, 0, 48, DigitFont, 15, qRgb(255, 255, 255),
                              kBlue, 48)
                    .isEmpty());
    }

    // Drawing reads the model and writes only the renderer: the record, image
    // and version stay byte for byte, also for colour bytes beyond the palette.
    void renderingLeavesTheModel() {
        TMK mk;
        mk.Settings.DigitColor1 = 0xF3;
        mk.Settings.DigitBack2 = 0x1C;
        mk.Image = QByteArray(kImageSize, char(0xA5));
        mk.Version = 0x1234;
        const auto record = mk.Settings.ToBytes();
        const TMK& view = mk;

        const QImage fromConst = PreviewImage(view.PreviewSource());
        const QByteArray png = PreviewPng(view);
        QCOMPARE(view.Preview.PreviewBitmap, TPreviewRenderer::BlankPreviewBitmap());
        QVERIFY(mk.Settings.ToBytes() == record);
        QCOMPARE(mk.Image, QByteArray(kImageSize, char(0xA5)));
        QCOMPARE(mk.Version, uint16_t(0x1234));

        QCOMPARE(Render(mk), fromConst);
        QVERIFY(mk.Settings.ToBytes() == record);
        QCOMPARE(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), fromConst);
        QVERIFY(Only(fromConst, QRect(0, 42, 128, 3), {qRgb(0, 0, 255)}));
    }

    void previewPng() {
        QTemporaryDir dir;
        TMK mk;
        mk.Settings.DigitColor1 = 13;
        const QString path = dir.filePath(QStringLiteral("preview.png"));
        SavePreviewPng(mk, path);
        QImage read(path, "PNG");
        QCOMPARE(read.size(), QSize(128, 128));
        QCOMPARE(read.convertToFormat(QImage::Format_RGB32), Render(mk));
        QVERIFY(Count(read.convertToFormat(QImage::Format_RGB32), QRect(32, 0, 96, 42),
                      qRgb(255, 178, 0)) > 0);
        QVERIFY_THROWS_EXCEPTION(TripError,
                                 SavePreviewPng(mk, dir.filePath(QStringLiteral("no/such.png"))));
    }
};

QTEST_GUILESS_MAIN(TestPreview)
#include "test_preview.moc"

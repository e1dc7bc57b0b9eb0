#include "model/preview.h"

#include "model/mk.h"
#include "support/conversions.h"
#include "support/cp1251.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QBuffer>

#include <algorithm>

namespace {

constexpr int W = TPreviewRenderer::kPreviewSize;
constexpr int H = TPreviewRenderer::kPreviewSize;

struct Rgb5 {
    int r, g, b;
};
constexpr Rgb5 kPaletteRgb[16] = {
    {0, 0, 0},   {16, 4, 4},   {0, 22, 22}, {25, 25, 0},  {0, 0, 25}, {18, 0, 18},
    {9, 31, 26}, {16, 16, 16}, {31, 0, 31}, {31, 0, 0},   {0, 31, 0}, {31, 31, 0},
    {0, 0, 31},  {31, 22, 0},  {0, 31, 31}, {31, 31, 31},
};

QRgb ScreenColour(uint16_t rgb565) {
    const uint32_t c = Rgb565ToColor(rgb565);
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

} // namespace

uint16_t PaletteEntry(int red5, int green5, int blue5) {
    return uint16_t((red5 << 11) | (green5 << 6) | ((green5 & 1) << 5) | blue5);
}

const TPalette& DisplayPalette() {
    static const TPalette palette = [] {
        TPalette p{};
        for (size_t i = 0; i < p.size(); ++i)
            p[i] = PaletteEntry(kPaletteRgb[i].r, kPaletteRgb[i].g, kPaletteRgb[i].b);
        return p;
    }();
    return palette;
}

QImage TPreviewRenderer::BlankPreviewBitmap() {
    QImage image(kPreviewSize, kPreviewSize, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

void TPreviewRenderer::DrawPreview(const TPreviewSource& source, uint8_t a, uint8_t b) {
    DrawParameterHalf(source, FindParameter(source.Parameters, a), 0);
    DrawParameterHalf(source, FindParameter(source.Parameters, b), 1);
}

void TPreviewRenderer::DrawParameterHalf(const TPreviewSource& source, const TMeasParBase* p,
                                         int half) {
    OriginX = 0;
    OriginY = half * H / 2;
    InkColour = source.Colour(source.Settings.DigitColor1);
    PaperColour = source.Colour(source.Settings.DigitBack1);
    FillPreviewRect(W, H / 2);

    SelectDigitFont();
    if (p) {
        OriginX = W - int(p->SampleText.size()) * GlyphWidth;
        DrawTextAt(0, 0, p->SampleText);
    }

    // The band starts 6 rows above the digit cells' bottom and covers them.
    OriginX = 0;
    OriginY = half * 64 + DigitFont.Height - 6;
    InkColour = source.Colour(source.Settings.DigitColor2);
    PaperColour = source.Colour(source.Settings.DigitBack2);
    SelectSmallFont();
    FillPreviewRect(W, SmallFont.Height + 6);
    OriginY = half * 64 + DigitFont.Height - 3;
    if (p)
        DrawTextAt(0, 0, p->Caption);

    SelectMediumFont();
}

void TPreviewRenderer::FillPreviewRect(int w, int h) {
    const QRgb paper = ScreenColour(PaperColour);
    const int x0 = std::max(OriginX, 0), x1 = std::min(OriginX + w, W);
    const int y0 = std::max(OriginY, 0), y1 = std::min(OriginY + h, H);
    for (int y = y0; y < y1; ++y) {
        auto* line = reinterpret_cast<QRgb*>(PreviewBitmap.scanLine(y));
        for (int x = x0; x < x1; ++x)
            line[x] = paper;
    }
}

void TPreviewRenderer::SelectFont(const TBitmapFont& font) {
    GlyphWidth = font.Width;
    GlyphHeight = font.Height;
    GlyphCount = font.Count;
    GlyphTable = font.Table;
    TextMode = font.TextMode;
}

void TPreviewRenderer::SelectSmallFont() {
    SelectFont(SmallFont);
}
void TPreviewRenderer::SelectMediumFont() {
    SelectFont(MediumFont);
}
void TPreviewRenderer::SelectDigitFont() {
    SelectFont(DigitFont);
}

void TPreviewRenderer::SetCursor(int row, int col) {
    CursorRow = row;
    CursorCol = col;
}

void TPreviewRenderer::DrawTextAt(int row, int col, const QString& text) {
    SetCursor(row, col);
    DrawText(text);
}

void TPreviewRenderer::DrawText(const QString& text) {
    for (const char c : ToCp1251(text))
        DrawChar(uint8_t(c));
}

int TPreviewRenderer::GlyphIndex(uint8_t ch) const {
    if (TextMode) {
        if (ch < 0x20 || (ch >= 0x80 && ch <= 0xBF))
            return -1;
        return ch <= 0x7F ? ch - 0x20 : ch - 0x60;
    }
    switch (ch) {
    case '+':
        return 1;
    case '-':
        return 2;
    case '.':
        return 3;
    case ':':
        return 4;
    case 'T':
        return 15;
    // No glyphs in the digit font: drawn blank.
    case 'D':
        return 16;
    case 'N':
        return 17;
    case 'P':
        return 18;
    case 'R':
        return 19;
    default:
        return ch >= '0' && ch <= '9' ? 5 + (ch - '0') : 0;
    }
}

void TPreviewRenderer::DrawChar(uint8_t ch) {
    if (CursorCol < 0 || CursorRow < 0 || CursorCol >= W / GlyphWidth ||
        CursorRow >= H / GlyphHeight)
        return;
    const int g = GlyphIndex(ch);
    if (g < 0)
        return;
    DrawGlyph(CursorCol * GlyphWidth, CursorRow * GlyphHeight, g);
    ++CursorCol;
}

void TPreviewRenderer::DrawGlyph(int x, int y, int g) {
    const QRgb ink = ScreenColour(InkColour), paper = ScreenColour(PaperColour);
    const int rowBytes = GlyphWidth / 8;
    const bool known = g >= 0 && g < GlyphCount;
    const uint8_t* glyph = GlyphTable + (known ? g : 0) * rowBytes * GlyphHeight;
    for (int i = 0; i < GlyphHeight; ++i) {
        const int py = OriginY + y + i;
        if (py < 0 || py >= H)
            continue;
        auto* line = reinterpret_cast<QRgb*>(PreviewBitmap.scanLine(py));
        for (int u = 0; u < rowBytes; ++u) {
            const uint8_t bits = known ? glyph[i * rowBytes + u] : 0;
            for (int k = 0; k < 8; ++k) {
                const int px = OriginX + x + 8 * u + k;
                if (px >= 0 && px < W)
                    line[px] = (bits & (0x80 >> k)) ? ink : paper;
            }
        }
    }
}

const QImage& TPreviewRenderer::RenderPreview(const TPreviewSource& source) {
    DrawPreview(source, 1, 5);
    return PreviewBitmap;
}

QImage PreviewImage(const TPreviewSource& source) {
    TPreviewRenderer renderer;
    return renderer.RenderPreview(source);
}

QImage PreviewImage(const TSettingsRecord& settings) {
    const TParameterList parameters = CreateParameterCatalogue();
    return PreviewImage({settings, DisplayPalette(), parameters});
}

QByteArray PreviewPng(const TMK& mk) {
    const QImage image = PreviewImage(mk.PreviewSource());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw TripError(QStringLiteral("Cannot encode the preview as PNG"));
    return png;
}

void SavePreviewPng(const TMK& mk, const QString& path) {
    WriteWholeFile(path, PreviewPng(mk));
}

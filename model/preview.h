#pragma once

#include "model/fonts.h"
#include "model/parameters.h"
#include "model/settings_record.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>

class TMK;

// The trip computer's 16 display colours, RGB565.
using TPalette = std::array<uint16_t, 16>;
// The 6-bit green repeats green's lowest bit.
uint16_t PaletteEntry(int red5, int green5, int blue5);
// The fixed palette every settings model holds.
const TPalette& DisplayPalette();

// What a preview is drawn from. Drawing only reads it, so a preview never
// changes the settings it shows.
struct TPreviewSource {
    const TSettingsRecord& Settings;
    const TPalette& Palette;
    const TParameterList& Parameters;

    // Palette entry of a colour field; a value above 15 uses its low four bits.
    uint16_t Colour(uint8_t index) const { return Palette[index & 0x0F]; }
};

// The display preview: the trip computer's screen drawn with a record's
// colours. Holds only the bitmap and the drawing state (origin, cursor,
// colours, selected font). Pixels outside the bitmap are never written.
class TPreviewRenderer {
public:
    static constexpr int kPreviewSize = 128;

    QImage PreviewBitmap = BlankPreviewBitmap(); // 128 x 128, black until drawn
    int OriginX = 0, OriginY = 0;                // pixels
    int CursorCol = 0, CursorRow = 0;            // glyph cells
    uint16_t InkColour = 0, PaperColour = 0;     // RGB565
    // The selected font; MediumFont at creation and after every preview.
    int GlyphWidth = MediumFont.Width, GlyphHeight = MediumFont.Height;
    int GlyphCount = MediumFont.Count;
    const uint8_t* GlyphTable = MediumFont.Table;
    bool TextMode = MediumFont.TextMode;

    static QImage BlankPreviewBitmap();

    // Upper half: the parameter with Index a; lower half: Index b.
    void DrawPreview(const TPreviewSource& source, uint8_t a, uint8_t b);
    // Value right-aligned in DigitFont on background 1, caption in SmallFont
    // on the band of background 2; half 0 or 1. A missing parameter (null)
    // draws both backgrounds without texts.
    void DrawParameterHalf(const TPreviewSource& source, const TMeasParBase* p, int half);
    // Paints w x h pixels from (OriginX, OriginY) in PaperColour.
    void FillPreviewRect(int w, int h);
    void SelectFont(const TBitmapFont& font);
    void SelectSmallFont();
    void SelectMediumFont();
    void SelectDigitFont();
    void SetCursor(int row, int col);
    void DrawTextAt(int row, int col, const QString& text);
    // Draws the text's code-page-1251 bytes one by one.
    void DrawText(const QString& text);
    // Draws the glyph of a code-page-1251 byte at the cursor and advances it;
    // nothing happens outside the bitmap's cells or for a skipped character.
    void DrawChar(uint8_t ch);
    // Paints the whole cell of glyph g at (OriginX + x, OriginY + y), ink and
    // paper; a glyph number the font lacks paints a blank cell.
    void DrawGlyph(int x, int y, int g);
    // The glyph of a byte in the selected font, or -1 when text mode skips it.
    int GlyphIndex(uint8_t ch) const;
    // DrawPreview(1, 5), as the editor shows it; answers the picture.
    const QImage& RenderPreview(const TPreviewSource& source);
};

// The editor's picture of a source, drawn on a renderer of its own.
QImage PreviewImage(const TPreviewSource& source);
// The same for a bare record, with the fixed palette and a fresh catalogue.
QImage PreviewImage(const TSettingsRecord& settings);

// The editor's preview of the record's colours as a PNG file, 128 x 128.
QByteArray PreviewPng(const TMK& mk);
// Replaces the file atomically; TripError with the system's message on failure.
void SavePreviewPng(const TMK& mk, const QString& path);

#pragma once

#include "model/fonts.h"
#include "model/parameters.h"
#include "model/protocols.h"
#include "model/settings_record.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The settings model: the trip computer's parameter memory as last read or
// loaded, and the interpreted settings record at its start.
class TMK {
public:
    TMK();

    // The trip computer's 16 display colours, RGB565; fixed.
    std::array<uint16_t, 16> Palette;
    // Settings image; empty until a device read or a file load.
    QByteArray Image;
    TSettingsRecord Settings;
    // Settings version; 16 bits as the device and the files carry it.
    uint16_t Version = 0;

    // Image bytes 0..123 into Settings; a shorter image fills only what it has.
    void UnpackSettings();
    // Settings into image bytes 0..123; grows the image to 124 bytes if shorter.
    void PackSettings();

    static uint16_t PaletteEntry(int red5, int green5, int blue5);

    // The protocol catalogue; empty until the editor is first opened.
    TProtocolList ProtocolList;
    const TProtBase* CurrentProtocol = nullptr;
    // Rebuilds the 19 entries and resolves CurrentProtocol from
    // Settings.Protocol; raises "List index out of bounds (%d)" when the
    // number has no entry (CurrentProtocol then stays none).
    void BuildProtocolList();
    // The entry at a protocol number, or the same list error.
    const TProtBase& ProtocolAt(int number) const;

    // The twelve display parameters, in creation order.
    std::vector<std::unique_ptr<TMeasParBase>> ParameterList;
    void BuildParameterList();
    const TMeasParBase* FindParameter(uint8_t index) const;

    // Runs the settings editor once: runDialog edits Settings in place and
    // answers true for OK. OK packs the record into the image; anything else
    // restores all 124 bytes. A protocol number without an entry leaves
    // CurrentProtocol none and the dialog still runs.
    bool EditSettings(const std::function<bool(TMK&)>& runDialog);

    // Display preview (model/preview.cpp): the trip computer's screen drawn
    // with the record's colours. Pixels outside the bitmap are never written.
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
    // Palette entry of a colour field; a value above 15 uses its low four bits.
    uint16_t PaletteColour(uint8_t index) const;

    // Upper half: the parameter with Index a; lower half: Index b.
    void DrawPreview(uint8_t a, uint8_t b);
    // Value right-aligned in DigitFont on background 1, caption in SmallFont
    // on the band of background 2; half 0 or 1. A missing parameter (null)
    // draws both backgrounds without texts.
    void DrawParameterHalf(const TMeasParBase* p, int half);
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
    QImage RenderPreview();
};

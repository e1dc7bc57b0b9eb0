#pragma once

#include "model/parameters.h"
#include "model/preview.h"
#include "model/protocols.h"
#include "model/settings_record.h"

#include <QByteArray>
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
    TPalette Palette;
    // Settings image; empty until a device read or a file load.
    QByteArray Image;
    TSettingsRecord Settings;
    // Settings version; 16 bits as the device and the files carry it.
    uint16_t Version = 0;

    // Image bytes 0..123 into Settings; a shorter image fills only what it has.
    void UnpackSettings();
    // Settings into image bytes 0..123; grows the image to 124 bytes if shorter.
    void PackSettings();

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
    TParameterList ParameterList;
    void BuildParameterList();
    const TMeasParBase* FindParameter(uint8_t index) const;

    // Runs the settings editor once: runDialog edits Settings in place and
    // answers true for OK. OK packs the record into the image; anything else
    // restores all 124 bytes. A protocol number without an entry leaves
    // CurrentProtocol none and the dialog still runs.
    bool EditSettings(const std::function<bool(TMK&)>& runDialog);

    // The display preview; drawing it reads PreviewSource() and changes
    // nothing else of the model.
    static constexpr int kPreviewSize = TPreviewRenderer::kPreviewSize;
    TPreviewRenderer Preview;
    // The record, palette and catalogue the preview is drawn from.
    TPreviewSource PreviewSource() const;
    // Palette entry of a colour field; a value above 15 uses its low four bits.
    uint16_t PaletteColour(uint8_t index) const;
};

// Loads arbitrary bytes as a settings file, the way the window and
// tripconf-cli do, then shows and previews the settings it gives.
//
// Checked: the version and every image byte come from the file, a longer
// image keeps its tail, and saving what was loaded gives the file back.
// Every value the editor shows, typed back as `tripconf-cli set` takes it,
// is taken and shows the same.

#include "core/protocol.h"
#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "support/errors.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// What `tripconf-cli show` and the editor's preview do with a loaded record.
void ShowEverything(TMK& mk) {
    for (const FieldInfo& f : RecordFields())
        (void)ShownFieldText(mk.Settings, f, QStringLiteral(","));
    static const TProtocolList protocols = CreateProtocolCatalogue();
    for (const EditField& f : EditFields()) {
        const EditorView shown = EditorShows(f, mk.Settings, QStringLiteral(","));
        TSettingsRecord r = mk.Settings;
        const bool typed = f.kind == EditKind::Number || f.kind == EditKind::Correction ||
                           f.kind == EditKind::Colour || f.kind == EditKind::Time;
        try {
            EditorStore(r, f, shown.text, protocols);
        } catch (const TripError&) {
            // Only what is stepped, not typed, or not shown as it is may be refused.
            Check(!typed || !f.typing || !shown.outside.isEmpty());
            continue;
        }
        Check(EditorShows(f, r, QStringLiteral(",")).text == shown.text);
    }
    try {
        mk.BuildProtocolList();
    } catch (const TripError&) {
        Check(mk.CurrentProtocol == nullptr);
    }
    mk.BuildParameterList();
    (void)mk.Preview.RenderPreview(mk.PreviewSource());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));

    // Into a fresh program.
    TMK fresh;
    const uint16_t oldVersion = fresh.Version;
    LoadSettingsData(fresh, file);
    const qsizetype imageSize = size < 2 ? 0 : qsizetype(size) - 2;
    Check(fresh.Image.size() == imageSize);
    if (size >= 2) {
        // Load then save is the identity, whatever the record's values.
        fresh.PackSettings();
        if (imageSize >= TSettingsRecord::kSize)
            Check(SettingsFileData(fresh) == file);
    } else if (size == 0) {
        Check(fresh.Version == oldVersion);
    } else {
        Check((fresh.Version & 0xFF) == data[0]);
    }
    ShowEverything(fresh);

    // Into a program that holds a device image: bytes beyond the file's stay.
    TMK held;
    held.Image = QByteArray(kImageSize, char(0x5A));
    held.UnpackSettings();
    LoadSettingsData(held, file);
    Check(held.Image.size() == std::max<qsizetype>(kImageSize, imageSize));
    const char* image = held.Image.constData();
    for (qsizetype i = imageSize; i < held.Image.size(); ++i)
        Check(image[i] == char(0x5A));
    Check(held.Image.left(imageSize) == fresh.Image.left(imageSize));
    return 0;
}

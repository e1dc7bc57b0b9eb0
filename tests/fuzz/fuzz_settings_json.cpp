// Imports arbitrary bytes as the JSON form of a settings file, and exports
// arbitrary bytes taken as a settings file.
//
// Checked: an import either fails with a TripError or gives a file whose
// export imports to the same file; an export always imports to its file.

#include "model/settings_json.h"
#include "support/errors.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

const TProtocolList& Protocols() {
    static const TProtocolList list = CreateProtocolCatalogue();
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QByteArray file = SettingsFileFromJson(bytes, Protocols()).file;
        Check(SettingsFileFromJson(SettingsFileToJson(file), Protocols()).file == file);
    } catch (const TripError&) {
    }
    if (size >= 126)
        Check(SettingsFileFromJson(SettingsFileToJson(bytes), Protocols()).file == bytes);
    return 0;
}

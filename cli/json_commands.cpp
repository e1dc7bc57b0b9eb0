// export and import: a settings file as JSON a person can read and edit.

#include "cli/cli_common.h"

#include "model/settings_file.h"
#include "model/settings_json.h"
#include "support/errors.h"
#include "support/file_io.h"

void DeclareExport(QCommandLineParser& p) {
    p.setApplicationDescription(QStringLiteral(
        "Writes a settings file as JSON: its version, every field's shown value and stored\n"
        "number, the reserved bytes and the rest of the image. import gives the file back."));
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("JSON file (default, or -: standard output)."),
                 QStringLiteral("OUT"),
                 QStringLiteral("-")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
}

namespace {

// A file's own problem is said as the file layer words it; a problem with
// what it holds is prefixed with its name.
template <typename Read> auto FromFile(const QString& file, Read read) {
    try {
        return read();
    } catch (const FileError& e) {
        throw TCliError::Failure(e.message());
    } catch (const TripError& e) {
        throw TCliError::Failure(QStringLiteral("%1: %2").arg(file, e.message()));
    }
}

} // namespace

int CmdExport(const TCliCall& call) {
    if (call.files.size() != 1)
        throw TCliError::Usage(QStringLiteral("One settings FILE is required"));
    const QString file = call.files.first();
    const QByteArray json =
        FromFile(file, [&] { return SettingsFileToJson(ReadSettingsFile(file)); });
    WriteOutput(call.value("output"), json);
    return 0;
}

void DeclareImport(QCommandLineParser& p) {
    p.setApplicationDescription(QStringLiteral(
        "Writes the settings file that a JSON form (as export writes it) describes. A field's\n"
        "changed \"value\" is taken as the editor takes it, else its stored number; a value\n"
        "the editor would refuse fails and nothing is written."));
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Settings file to write (- for standard output)."),
                 QStringLiteral("FILE")});
    p.addPositionalArgument(QStringLiteral("IN.json"), QStringLiteral("The JSON form."));
}

int CmdImport(const TCliCall& call) {
    if (call.files.size() != 1 || !call.isSet("output"))
        throw TCliError::Usage(QStringLiteral("One IN.json and -o FILE are required"));
    const QString in = call.files.first();
    const SettingsJsonImport imported = FromFile(in, [&] {
        return SettingsFileFromJson(ReadWholeFile(in, kMaxSettingsJsonSize),
                                    CreateProtocolCatalogue());
    });
    WriteOutput(call.value("output"), imported.file);
    // Said, so that a stored number edited beside its old value is not taken unnoticed.
    for (const QString& taken : imported.valuesTaken)
        Err(QStringLiteral("Taken as shown: %1").arg(taken));
    return 0;
}

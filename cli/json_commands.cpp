// export and import: a settings file as JSON a person can read and edit.

#include "cli/cli_common.h"

#include "model/settings_file.h"
#include "model/settings_json.h"
#include "support/errors.h"
#include "support/file_io.h"

int CmdExport(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes a settings file as JSON: its version, every field's shown value and stored\n"
        "number, the reserved bytes and the rest of the image. import gives the file back."));
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("JSON file (default, or -: standard output)."),
                 QStringLiteral("OUT"),
                 QStringLiteral("-")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    if (const QString extra = ExtraArguments(p, 1); !extra.isEmpty())
        return UsageError(extra);
    if (p.positionalArguments().size() != 1)
        return UsageError(QStringLiteral("One settings FILE is required"));
    const QString file = p.positionalArguments().first();
    QByteArray json;
    try {
        json = SettingsFileToJson(ReadSettingsFile(file));
    } catch (const FileError& e) {
        return Fail(e.message());
    } catch (const TripError& e) {
        return Fail(QStringLiteral("%1: %2").arg(file, e.message()));
    }
    try {
        WriteOutput(p.value(QStringLiteral("output")), json);
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    return 0;
}

int CmdImport(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Writes the settings file that a JSON form (as export writes it) describes. A field's\n"
        "changed \"value\" is taken as the editor takes it, else its stored number; a value\n"
        "the editor would refuse fails and nothing is written."));
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Settings file to write (- for standard output)."),
                 QStringLiteral("FILE")});
    p.addPositionalArgument(QStringLiteral("IN.json"), QStringLiteral("The JSON form."));
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    if (const QString extra = ExtraArguments(p, 1); !extra.isEmpty())
        return UsageError(extra);
    if (p.positionalArguments().size() != 1 || !p.isSet(QStringLiteral("output")))
        return UsageError(QStringLiteral("One IN.json and -o FILE are required"));
    const QString in = p.positionalArguments().first();
    SettingsJsonImport imported;
    try {
        imported = SettingsFileFromJson(ReadWholeFile(in, kMaxSettingsJsonSize),
                                        CreateProtocolCatalogue());
    } catch (const FileError& e) {
        return Fail(e.message());
    } catch (const TripError& e) {
        return Fail(QStringLiteral("%1: %2").arg(in, e.message()));
    }
    try {
        WriteOutput(p.value(QStringLiteral("output")), imported.file);
    } catch (const std::exception& e) {
        return Fail(ExceptionMessage(e));
    }
    // Said, so that a stored number edited beside its old value is not taken unnoticed.
    for (const QString& taken : imported.valuesTaken)
        Err(QStringLiteral("Taken as shown: %1").arg(taken));
    return 0;
}

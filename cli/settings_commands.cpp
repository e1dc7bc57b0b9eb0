// The commands on settings files: show, get and set.

#include "cli/cli_common.h"

#include "model/field_text.h"
#include "model/mk.h"

#include <QJsonDocument>
#include <QJsonObject>

int CmdShow(const QStringList& args) {
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Prints the version and every interpreted setting of a settings file."));
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object.")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
    int code = 0;
    if (!Parse(p, args, code))
        return code;
    if (const QString extra = ExtraArguments(p, 1); !extra.isEmpty())
        return UsageError(extra);
    if (p.positionalArguments().size() != 1)
        return UsageError(QStringLiteral("One settings FILE is required"));
    TMK mk;
    if (!LoadForCommand(mk, p.positionalArguments().first()))
        return 1;
    const auto bytes = mk.Settings.ToBytes();
    const bool json = p.isSet(QStringLiteral("json"));
    QJsonObject settings;
    QString text = QStringLiteral("Version: %1\n").arg(mk.Version);
    for (const FieldInfo& f : RecordFields()) {
        const std::optional<FieldText> shown = ShownFieldText(mk.Settings, f);
        if (!shown)
            continue;
        const QString name = QString::fromLatin1(f.name);
        settings.insert(name, QJsonObject{{QStringLiteral("raw"), FieldValue(bytes, f)},
                                          {QStringLiteral("shown"), shown->text}});
        text += QStringLiteral("%1: %2\n").arg(name, WithUnit(shown->text, shown->unit));
    }
    if (json)
        text = QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("Version"), int(mk.Version)},
                                      {QStringLiteral("Settings"), settings}})
                .toJson(QJsonDocument::Indented));
    Out(text);
    return 0;
}

// The commands on settings files: show, get and set.

#include "cli/cli_common.h"

#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "model/settings_format.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct ShownField {
    QString name;
    double stored = 0;
    FieldText shown;
};

// A field as show and get print it; Flags shows its two bits.
ShownField Shown(const TSettingsRecord& r, const QString& name) {
    const FieldInfo* record = FindField(name.toStdString());
    if (record && !IsReserved(*record))
        return {name, StoredNumber(r, *record), *ShownFieldText(r, *record)};
    const EditField& f = *FindEditField(name);
    const EditorView v = EditorShows(f, r);
    return {name, v.stored, {v.text, v.unit, v.outside, v.resets}};
}

QString Line(const ShownField& f) {
    QString line = f.name + QStringLiteral(": ") + WithUnit(f.shown.text, f.shown.unit);
    QStringList notes;
    for (const QString& note : {f.shown.outside, f.shown.resets})
        if (!note.isEmpty())
            notes << note;
    if (!notes.isEmpty())
        line += QStringLiteral(" (") + notes.join(QStringLiteral("; ")) + QLatin1Char(')');
    return line + QLatin1Char('\n');
}

QJsonObject JsonOf(const ShownField& f) {
    QJsonObject o{{QStringLiteral("raw"), f.stored}, {QStringLiteral("shown"), f.shown.text}};
    if (!f.shown.outside.isEmpty())
        o.insert(QStringLiteral("outside"), f.shown.outside);
    if (!f.shown.resets.isEmpty())
        o.insert(QStringLiteral("editorResets"), f.shown.resets);
    return o;
}

// Prints the fields in text or as show --json does.
void Print(const TMK& mk, const QStringList& names, bool json, bool withVersion) {
    QJsonObject settings;
    QString text = withVersion ? QStringLiteral("Version: %1\n").arg(mk.Version) : QString();
    for (const QString& name : names) {
        const ShownField f = Shown(mk.Settings, name);
        settings.insert(name, JsonOf(f));
        text += Line(f);
    }
    if (json)
        text = QString::fromUtf8(
            QJsonDocument(QJsonObject{{QStringLiteral("Version"), int(mk.Version)},
                                      {QStringLiteral("Settings"), settings}})
                .toJson(QJsonDocument::Indented));
    Out(text);
}

// Every field show prints: the interpreted fields of the record.
QStringList RecordFieldNames() {
    QStringList names;
    for (const FieldInfo& f : RecordFields())
        if (!IsReserved(f))
            names << QString::fromLatin1(f.name);
    return names;
}

// The complaint about a name no field has, with the nearest names.
QString UnknownField(const QString& name) {
    QString text = QStringLiteral("Unknown field: %1.").arg(name);
    const QStringList closest = ClosestFieldNames(name);
    if (!closest.isEmpty())
        text += QStringLiteral(" Did you mean: %1?").arg(closest.join(QStringLiteral(", ")));
    return text + QStringLiteral(" ('tripconf-cli get --help' lists the fields.)");
}

QString FieldList() {
    QStringList names;
    for (const EditField& f : EditFields())
        names << QString::fromLatin1(f.name);
    QString text = QStringLiteral("Fields:");
    int column = 7;
    for (const QString& n : names) {
        if (column + n.size() + 1 > 79) {
            text += QStringLiteral("\n ");
            column = 1;
        }
        text += QLatin1Char(' ') + n;
        column += int(n.size()) + 1;
    }
    return text;
}

} // namespace

void DeclareShow(QCommandLineParser& p) {
    p.setApplicationDescription(QStringLiteral(
        "Prints the version and every interpreted setting of a settings file, as the\n"
        "editor shows it. A stored value the editor cannot show is shown as the editor\n"
        "does, followed by what is stored and what the editor allows."));
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object.")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
}

int CmdShow(const TCliCall& call) {
    if (call.files.size() != 1)
        throw TCliError::Usage(QStringLiteral("One settings FILE is required"));
    TMK mk;
    LoadForCommand(mk, call.files.first());
    Print(mk, RecordFieldNames(), call.isSet("json"), true);
    return 0;
}

void DeclareGet(QCommandLineParser& p) {
    p.setApplicationDescription(
        QStringLiteral("Prints fields of a settings file as the editor shows them; all fields "
                       "when\nnone is named. LockType and AlarmVelType are bits of Flags.\n\n") +
        FieldList());
    p.addOption({QStringLiteral("json"), QStringLiteral("Print one JSON object, as show does.")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
    p.addPositionalArgument(QStringLiteral("FIELD"), QStringLiteral("Field names."),
                            QStringLiteral("[FIELD...]"));
}

int CmdGet(const TCliCall& call) {
    QStringList names = call.files;
    if (names.isEmpty())
        throw TCliError::Usage(QStringLiteral("A settings FILE is required"));
    const QString file = names.takeFirst();
    for (const QString& name : names)
        if (!FindEditField(name))
            throw TCliError::Usage(UnknownField(name));
    TMK mk;
    LoadForCommand(mk, file);
    if (names.isEmpty())
        for (const EditField& f : EditFields())
            names << QString::fromLatin1(f.name);
    Print(mk, names, call.isSet("json"), false);
    return 0;
}

namespace {

struct Change {
    const EditField* field;
    QString value;
};

// The FIELD=VALUE arguments in the order they are stored: a protocol first,
// since choosing one sets the fan channel, as in the editor. A usage error
// when one is not FIELD=VALUE or names no field.
QList<Change> OrderedChanges(const QStringList& changes) {
    QList<Change> ordered;
    qsizetype protocolsFirst = 0;
    for (const QString& c : changes) {
        const qsizetype eq = c.indexOf(QLatin1Char('='));
        if (eq < 0)
            throw TCliError::Usage(QStringLiteral("Not FIELD=VALUE: %1").arg(c));
        const QString name = c.left(eq);
        const EditField* f = FindEditField(name);
        if (!f)
            throw TCliError::Usage(UnknownField(name));
        const Change change{f, c.mid(eq + 1)};
        if (f->kind == EditKind::Protocol)
            ordered.insert(protocolsFirst++, change);
        else
            ordered.append(change);
    }
    return ordered;
}

// Stored as asked, but the window would not keep it: said, not refused.
void SayWhatTheEditorResets(const QList<Change>& ordered, const TSettingsRecord& r) {
    QList<const EditField*> said;
    for (const Change& c : ordered) {
        if (said.contains(c.field))
            continue;
        said << c.field;
        const EditorView v = EditorShows(*c.field, r);
        if (!v.resets.isEmpty())
            Err(QStringLiteral("%1: %2 is stored, but %3")
                    .arg(QLatin1String(c.field->name), v.text, v.resets));
    }
}

} // namespace

void DeclareSet(QCommandLineParser& p) {
    p.setApplicationDescription(
        QStringLiteral(
            "Changes fields of a settings file by the values a user types in the editor\n"
            "(VelocityCorr=5.4, IntenseDayTime=08:30, Protocol=NAME or its number,\n"
            "AlarmBeep=Нет), with the editor's limits; --raw takes stored numbers instead.\n"
            "A choice takes its item's text first, then the item's number. Protocol is\n"
            "applied first, as the editor does on choosing it (LastProtocol, fan channel);\n"
            "the others in the order given. Nothing is written unless every value is taken.\n"
            "Exit status 0: written, 1: a value refused or a file that cannot be read or\n"
            "written, 2: wrong usage.\n\n") +
        FieldList());
    p.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                 QStringLiteral("Write the result to OUT instead of FILE (- for standard output)."),
                 QStringLiteral("OUT")});
    p.addOption({QStringLiteral("raw"), QStringLiteral("Values are stored numbers.")});
    p.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Settings file."));
    p.addPositionalArgument(QStringLiteral("FIELD=VALUE"), QStringLiteral("Changes."),
                            QStringLiteral("FIELD=VALUE..."));
}

int CmdSet(const TCliCall& call) {
    QStringList changes = call.files;
    if (changes.size() < 2)
        throw TCliError::Usage(QStringLiteral("A settings FILE and at least one FIELD=VALUE are "
                                              "required"));
    const QString file = changes.takeFirst();
    const QList<Change> ordered = OrderedChanges(changes);

    TMK mk;
    QByteArray data;
    try {
        data = ReadSettingsFile(file);
    } catch (const std::exception& e) {
        throw TCliError::Failure(ExceptionMessage(e));
    }
    if (const TSettingsFileExtent held = SettingsFileExtent(data); !held.Whole())
        throw TCliError::Failure(
            QStringLiteral("%1 %2; set needs them all.").arg(file, ShortfallText(held)));
    LoadSettingsData(mk, data);
    const bool raw = call.isSet("raw");
    const TProtocolList protocols = CreateProtocolCatalogue();
    try {
        for (const Change& c : ordered) {
            if (raw)
                StoreRaw(mk.Settings, *c.field, c.value);
            else
                EditorStore(mk.Settings, *c.field, c.value, protocols);
        }
    } catch (const std::exception& e) {
        throw TCliError::Failure(ExceptionMessage(e) +
                                 QStringLiteral("\n%1 is unchanged.").arg(file));
    }
    mk.PackSettings();
    WriteOutput(call.isSet("output") ? call.value("output") : file, SettingsFileData(mk));
    SayWhatTheEditorResets(ordered, mk.Settings);
    return 0;
}

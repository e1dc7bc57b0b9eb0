#include "model/settings_json.h"

#include "model/field_edit.h"
#include "model/field_text.h"
#include "model/settings_format.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::array<uint8_t, TSettingsRecord::kSize>;

const QString kValue = QStringLiteral("value");
const QString kUnit = QStringLiteral("unit");
const QString kStored = QStringLiteral("stored");
const QString kBits = QStringLiteral("bits");

QString Quoted(const QString& key) {
    return QLatin1Char('"') + key + QLatin1Char('"');
}

// A key of the document as JSON spells it, so that a NUL or a line break
// in it can neither cut nor break the message.
QString KeyText(const QString& key) {
    QString text;
    for (QChar c : key) {
        if (c == u'"' || c == u'\\')
            text += QLatin1Char('\\') + QString(c);
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            text += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return Quoted(text);
}

// What export writes as a field's value: the editor's text, and for a value
// the editor cannot show, what it shows in its place with what is stored.
QString ExportedValue(const EditorView& view) {
    return view.outside.isEmpty()
               ? view.text
               : view.text + QStringLiteral(" (") + view.outside + QLatin1Char(')');
}

// A stand-in export wrote, "SHOWN (stored S ...)", is no edit: the editor's
// text may have changed with another field (a tank's capacity, the
// protocol) since export. So is one whose S is no longer the field's stored
// number (that number was edited). One whose SHOWN was changed while S
// stands is an edit that cannot be read either way.
enum class StandIn { None, Kept, Edited };

StandIn StandInOf(const QString& value, const EditorView& view) {
    const qsizetype open = value.indexOf(QStringLiteral(" (stored "));
    if (open < 0 || !value.endsWith(QLatin1Char(')')))
        return StandIn::None;
    const QString shown = value.left(open);
    const QString note = value.mid(open + 2, value.size() - open - 3);
    static const QRegularExpression separators(QStringLiteral("[\\s,;:]+|\\.\\."));
    const QStringList words = note.split(separators, Qt::SkipEmptyParts);
    if (words.value(1) != view.storedText || shown == view.text)
        return StandIn::Kept;
    // What the editor showed in its place is a limit the note names.
    return words.contains(shown) ? StandIn::Kept : StandIn::Edited;
}

QString FieldKey(const char* name) {
    return Quoted(QStringLiteral("fields")) + QLatin1Char('.') + Quoted(QString::fromLatin1(name));
}

// One JSON scalar as the JSON writer spells it (strings escaped, numbers
// as short as round-trips exactly).
QByteArray Scalar(const QJsonValue& v) {
    const QByteArray t = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return t.mid(1, t.size() - 2);
}

QByteArray Hex(const uint8_t* p, qsizetype n) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(p), n).toHex();
}

uint32_t F32Bits(const Bytes& b, const FieldInfo& f) {
    return qFromLittleEndian<uint32_t>(b.data() + f.offset);
}

QByteArray Entry(const char* name, const EditField* shown, const FieldInfo* stored,
                 const TSettingsRecord& r, const Bytes& b) {
    QByteArrayList parts;
    if (shown) {
        const EditorView view = EditorShows(*shown, r);
        parts << Scalar(kValue) + ": " + Scalar(ExportedValue(view));
        if (!view.unit.isEmpty())
            parts << Scalar(kUnit) + ": " + Scalar(view.unit);
    }
    if (stored) {
        const double v = StoredNumber(r, *stored);
        parts << Scalar(kStored) + ": " + (std::isfinite(v) ? Scalar(v) : QByteArray("null"));
        if (stored->type == FieldType::F32)
            parts << Scalar(kBits) + ": " +
                         Scalar(QString::asprintf("%08x", unsigned(F32Bits(b, *stored))));
    }
    return "    " + Scalar(QString::fromLatin1(name)) + ": { " + parts.join(", ") + " }";
}

[[noreturn]] void Refuse(const QString& message) {
    throw TripError(message);
}

void OnlyKeys(const QJsonObject& o, const QStringList& known, const QString& where) {
    for (const QString& key : o.keys())
        if (!known.contains(key))
            Refuse(QStringLiteral("%1 has an unknown key %2 (it takes %3).")
                       .arg(where, KeyText(key), known.join(QStringLiteral(", "))));
}

double Whole(const QJsonValue& v, double min, double max, const QString& key) {
    if (v.isUndefined())
        Refuse(QStringLiteral("%1 is missing.").arg(key));
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || d != std::floor(d) || d < min || d > max)
        Refuse(QStringLiteral("%1 must be a whole number from %2 to %3.")
                   .arg(key)
                   .arg(min, 0, 'f', 0)
                   .arg(max, 0, 'f', 0));
    return d;
}

QByteArray FromHex(const QJsonValue& v, qsizetype bytes, const QString& key) {
    if (v.isUndefined())
        Refuse(QStringLiteral("%1 is missing.").arg(key));
    const QString text = v.toString();
    bool hex = v.isString() && text.size() % 2 == 0;
    for (QChar c : text)
        hex = hex &&
              ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'));
    if (!hex || (bytes >= 0 && text.size() != 2 * bytes))
        Refuse(bytes >= 0 ? QStringLiteral("%1 must be %2 hex digits (%3 bytes).")
                                .arg(key)
                                .arg(2 * bytes)
                                .arg(bytes)
                          : QStringLiteral("%1 must be hex digits, two for each byte.").arg(key));
    return QByteArray::fromHex(text.toLatin1());
}

// One string of the JSON text from its opening quote at `i`, escapes
// decoded; `i` ends on the closing quote.
QString ReadString(const QByteArray& json, qsizetype& i, int& line) {
    QString text;
    QByteArray run;
    const auto flush = [&] {
        text += QString::fromUtf8(run);
        run.clear();
    };
    for (++i; i < json.size() && json[i] != '"'; ++i) {
        if (json[i] == '\n')
            ++line;
        if (json[i] != '\\') {
            run += json[i];
            continue;
        }
        flush();
        if (++i >= json.size())
            break;
        switch (json[i]) {
        case 'b':
            text += QLatin1Char('\b');
            break;
        case 'f':
            text += QLatin1Char('\f');
            break;
        case 'n':
            text += QLatin1Char('\n');
            break;
        case 'r':
            text += QLatin1Char('\r');
            break;
        case 't':
            text += QLatin1Char('\t');
            break;
        case 'u': {
            bool ok = false;
            const ushort unit = json.mid(i + 1, 4).toUShort(&ok, 16);
            if (ok) {
                text += QChar(unit); // a surrogate pair arrives as its two halves
                i += 4;
            }
            break;
        }
        default: // '"', '\\', '/'
            text += QLatin1Char(json[i]);
        }
    }
    flush();
    return text;
}

// An object or array being read, for telling where a key stands.
struct JsonLevel {
    bool object = false;
    QString path; // the keys leading to it, as the messages name them
    QString key;  // the last key read in it
    QHash<QString, int> lines;
};

// The level a "{" or "[" opens inside the levels open so far.
JsonLevel OpenedLevel(const std::vector<JsonLevel>& levels, bool object) {
    JsonLevel level;
    level.object = object;
    if (!levels.empty()) {
        const JsonLevel& outer = levels.back();
        level.path = outer.object
                         ? (outer.path.isEmpty() ? QString() : outer.path + QLatin1Char('.')) +
                               KeyText(outer.key)
                         : outer.path;
    }
    return level;
}

// Notes a key read at a line of an object, refusing one it already has.
void NoteKey(JsonLevel& level, const QString& text, int at) {
    level.key = text;
    if (const auto first = level.lines.constFind(text); first != level.lines.cend())
        Refuse(QStringLiteral("The key %1%2 appears twice, at lines %3 and %4: keep the "
                              "one you mean.")
                   .arg(KeyText(text),
                        level.path.isEmpty() ? QString() : QStringLiteral(" of ") + level.path)
                   .arg(*first)
                   .arg(at));
    level.lines.insert(text, at);
}

// QJsonDocument keeps the last of two equal keys without a word, so an
// edit placed above the original entry would be dropped; the text is read
// here for them. It is valid JSON by now.
void RefuseDuplicateKeys(const QByteArray& json) {
    std::vector<JsonLevel> levels;
    int line = 1;
    bool keyNext = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        switch (json[i]) {
        case '\n':
            ++line;
            break;
        case '{':
        case '[':
            levels.push_back(OpenedLevel(levels, json[i] == '{'));
            keyNext = levels.back().object;
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            keyNext = false;
            break;
        case ',':
            keyNext = !levels.empty() && levels.back().object;
            break;
        case '"': {
            const int at = line;
            const QString text = ReadString(json, i, line);
            if (!keyNext || levels.empty())
                break;
            keyNext = false;
            NoteKey(levels.back(), text, at);
            break;
        }
        default:
            break;
        }
    }
}

QString NumberText(double v) {
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(qint64(v));
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

// The document's top level, checked to be a settings file's JSON form.
QJsonObject ReadRoot(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        Refuse(QStringLiteral("It is not JSON: %1 at offset %2.")
                   .arg(error.errorString())
                   .arg(error.offset));
    RefuseDuplicateKeys(json);
    if (!doc.isObject())
        Refuse(QStringLiteral("It is JSON, but not an object with \"format\": \"%1\".")
                   .arg(QString::fromLatin1(kSettingsJsonFormat)));
    const QJsonObject root = doc.object();
    const QString format = QString::fromLatin1(kSettingsJsonFormat);
    if (root.value(QStringLiteral("format")) != format)
        Refuse(QStringLiteral("\"format\" must be \"%1\": this is not a settings file's JSON form.")
                   .arg(format));
    const double formatVersion =
        Whole(root.value(QStringLiteral("formatVersion")), 1, 1e9, Quoted("formatVersion"));
    if (formatVersion != kSettingsJsonFormatVersion)
        Refuse(QStringLiteral("\"formatVersion\" %1 is not known to this program, which reads %2.")
                   .arg(formatVersion)
                   .arg(kSettingsJsonFormatVersion));
    OnlyKeys(root,
             {QStringLiteral("format"), QStringLiteral("formatVersion"), QStringLiteral("version"),
              QStringLiteral("fields"), QStringLiteral("reserved"), QStringLiteral("rest")},
             QStringLiteral("The top level"));
    return root;
}

QJsonObject ObjectAt(const QJsonObject& root, const char* name) {
    const QJsonValue v = root.value(QLatin1String(name));
    if (!v.isObject())
        Refuse(QStringLiteral("%1 must be an object.").arg(Quoted(name)));
    return v.toObject();
}

void RefuseUnknownNames(const QJsonObject& fields, const QJsonObject& reserved) {
    for (const QString& name : fields.keys()) {
        const FieldInfo* f = FindField(name.toStdString());
        if ((f && !IsReserved(*f)) || FindEditField(name))
            continue;
        const QStringList closest = ClosestFieldNames(name);
        Refuse(QStringLiteral("%1 has no field %2%3")
                   .arg(Quoted("fields"), KeyText(name),
                        closest.isEmpty() ? QStringLiteral(".")
                                          : QStringLiteral("; did you mean %1?")
                                                .arg(closest.join(QStringLiteral(", ")))));
    }
    for (const QString& name : reserved.keys())
        if (const FieldInfo* f = FindField(name.toStdString()); !f || !IsReserved(*f))
            Refuse(QStringLiteral("%1 has no reserved bytes %2.")
                       .arg(Quoted("reserved"), KeyText(name)));
}

void StoreReserved(TSettingsRecord& r, const FieldInfo& f, const QJsonObject& reserved) {
    const QByteArray bytes =
        FromHex(reserved.value(QLatin1String(f.name)), FieldWidth(f),
                Quoted("reserved") + QLatin1Char('.') + Quoted(QLatin1String(f.name)));
    auto b = r.ToBytes();
    std::memcpy(b.data() + f.offset, bytes.constData(), size_t(bytes.size()));
    r = TSettingsRecord::FromBytes(b);
}

// A value given as the editor shows it, taken once the stored numbers are in.
struct Shown {
    const EditField* field;
    QJsonValue value;
};

// Reads the stored numbers of "fields" into the record, field by field, and
// keeps the shown values for later.
struct TStoredReader {
    const QJsonObject& fields;
    TSettingsRecord record;
    std::vector<Shown> shown;

    QJsonObject EntryOf(const char* name, const QStringList& keys) const {
        const QString key = FieldKey(name);
        const QJsonValue v = fields.value(QLatin1String(name));
        if (!v.isUndefined() && !v.isObject())
            Refuse(QStringLiteral("%1 must be an object.").arg(key));
        const QJsonObject entry = v.toObject();
        OnlyKeys(entry, keys, key);
        return entry;
    }

    void Read(const FieldInfo& f) {
        const QString key = FieldKey(f.name);
        if (!fields.contains(QLatin1String(f.name)))
            Refuse(QStringLiteral("%1 is missing.").arg(key));
        const EditField* e = EditFieldOf(f);
        QStringList keys{kStored};
        if (e)
            keys << kValue << kUnit;
        if (f.type == FieldType::F32)
            keys << kBits;
        const QJsonObject entry = EntryOf(f.name, keys);
        const QJsonValue stored = entry.value(kStored);
        // JSON has no infinity: a number too large for the parser is no stored number.
        if (stored.isDouble() && !std::isfinite(stored.toDouble()))
            Refuse(QStringLiteral("%1.\"stored\" is beyond any number a field holds.").arg(key));
        if (e && entry.contains(kValue))
            shown.push_back({e, entry.value(kValue)});
        for (const EditField* part : PartsOf(f))
            if (const QJsonObject p = EntryOf(part->name, {kValue, kUnit}); p.contains(kValue))
                shown.push_back({part, p.value(kValue)});
        if (const QJsonValue bits = entry.value(kBits); !bits.isUndefined()) {
            StoreBits(f, e, stored, bits);
        } else if (!stored.isUndefined()) {
            if (!stored.isDouble())
                Refuse(QStringLiteral("%1.\"stored\" must be a number.").arg(key));
            // Every record field is in the editor's table, if only as a stored number.
            if (!e)
                Refuse(QStringLiteral("%1 cannot be stored.").arg(key));
            StoreRaw(record, *e, NumberText(stored.toDouble()));
        } else if (!entry.contains(kValue)) {
            Refuse(QStringLiteral("%1 needs \"stored\" or \"value\".").arg(key));
        }
    }

    // A factor's exact bits, which "stored" may stand beside if it agrees.
    void StoreBits(const FieldInfo& f, const EditField* e, const QJsonValue& stored,
                   const QJsonValue& bits) {
        const QString key = FieldKey(f.name);
        const QByteArray b = FromHex(bits, 4, key + QStringLiteral(".\"bits\""));
        const auto word = qFromBigEndian<uint32_t>(b.constData());
        const auto factor = std::bit_cast<float>(word);
        // A stored number edited beside the bits would be lost without a word.
        // It is checked as if given alone (one beyond a float is refused as
        // such, never converted), then against the bits.
        float given = factor;
        if (stored.isDouble() && e) {
            TSettingsRecord alone = record;
            StoreRaw(alone, *e, NumberText(stored.toDouble()));
            given = float(StoredNumber(alone, RecordFieldOf(*e)));
        }
        if (stored.isDouble() && given != factor)
            Refuse(
                QStringLiteral("%1: \"stored\" %2 and \"bits\" %3 (%4) disagree; keep only "
                               "the one you mean.")
                    .arg(key, NumberText(stored.toDouble()), bits.toString(), NumberText(factor)));
        if (!stored.isUndefined() && !stored.isDouble() && !stored.isNull())
            Refuse(QStringLiteral("%1.\"stored\" must be a number.").arg(key));
        auto rb = record.ToBytes();
        qToLittleEndian<uint32_t>(word, rb.data() + f.offset);
        record = TSettingsRecord::FromBytes(rb);
    }
};

// What was changed as the editor shows it, decided on the stored record
// before any is taken (a protocol's choice changes others). Fields whose
// limit is the tank's capacity come after it.
std::vector<std::pair<const EditField*, QString>> EditsOf(const std::vector<Shown>& shown,
                                                          const TSettingsRecord& r) {
    std::vector<std::pair<const EditField*, QString>> take;
    for (const Shown& s : shown) {
        if (!s.value.isString())
            Refuse(QStringLiteral("%1.\"value\" must be a string.").arg(FieldKey(s.field->name)));
        const QString text = s.value.toString();
        // An edit is a value other than export would write for the stored
        // numbers (or an older export, without the note of a stand-in).
        const EditorView view = EditorShows(*s.field, r);
        const StandIn standIn = StandInOf(text, view);
        if (standIn == StandIn::Edited)
            Refuse(QStringLiteral("%1: \"%2\" is a stand-in from export with its shown part "
                                  "changed; give the value alone, without the note in brackets, "
                                  "or change \"stored\".")
                       .arg(FieldKey(s.field->name), text));
        if (text != ExportedValue(view) && text != view.text && standIn == StandIn::None)
            take.emplace_back(s.field, text);
    }
    std::stable_partition(take.begin(), take.end(),
                          [](const auto& t) { return !t.first->tankMax; });
    return take;
}

} // namespace

QByteArray SettingsFileToJson(const QByteArray& file) {
    if (const TSettingsFileExtent held = SettingsFileExtent(file); !held.Whole())
        Refuse(QStringLiteral("It %1; export needs them all.").arg(ShortfallText(held)));
    const auto [version, image] = DecodeSettingsFile(file);
    Bytes b{};
    std::memcpy(b.data(), image.constData(), b.size());
    const TSettingsRecord r = TSettingsRecord::FromBytes(b);

    QByteArrayList fields, reserved;
    for (const FieldInfo& f : RecordFields()) {
        if (IsReserved(f)) {
            reserved << "    " + Scalar(QString::fromLatin1(f.name)) + ": " +
                            Scalar(QString::fromLatin1(Hex(b.data() + f.offset, FieldWidth(f))));
            continue;
        }
        fields << Entry(f.name, EditFieldOf(f), &f, r, b);
        for (const EditField* part : PartsOf(f))
            fields << Entry(part->name, part, nullptr, r, b);
    }
    QByteArray out = "{\n  \"format\": " + Scalar(QString::fromLatin1(kSettingsJsonFormat));
    out += ",\n  \"formatVersion\": " + QByteArray::number(kSettingsJsonFormatVersion);
    out += ",\n  \"version\": " + QByteArray::number(version);
    out += ",\n  \"fields\": {\n" + fields.join(",\n");
    out += "\n  },\n  \"reserved\": {\n" + reserved.join(",\n");
    out += "\n  },\n  \"rest\": \"";
    const QByteArray end = "\"\n}\n";
    // What export writes, import must take: counted before the rest is spelled out.
    const qint64 rest = image.size() - TSettingsRecord::kSize;
    const qint64 size = out.size() + 2 * rest + end.size();
    if (size > kMaxSettingsJsonSize)
        Refuse(QStringLiteral("Its JSON form would be %1 bytes, more than the %2 that import "
                              "reads; a settings file of this kind can be exported up to %3 "
                              "bytes.")
                   .arg(size)
                   .arg(kMaxSettingsJsonSize)
                   .arg(file.size() - (size - kMaxSettingsJsonSize + 1) / 2));
    out += image.mid(TSettingsRecord::kSize).toHex() + end;
    return out;
}

SettingsJsonImport SettingsFileFromJson(const QByteArray& json, const TProtocolList& protocols) {
    const QJsonObject root = ReadRoot(json);
    const auto version =
        uint16_t(Whole(root.value(QStringLiteral("version")), 0, 65535, Quoted("version")));
    const QJsonObject fields = ObjectAt(root, "fields");
    const QJsonObject reserved = ObjectAt(root, "reserved");
    const QByteArray rest = FromHex(root.value(QStringLiteral("rest")), -1, Quoted("rest"));
    RefuseUnknownNames(fields, reserved);

    // The stored numbers and the reserved bytes first: they are the record.
    TStoredReader stored{fields, TSettingsRecord::Defaults(), {}};
    for (const FieldInfo& f : RecordFields()) {
        if (IsReserved(f))
            StoreReserved(stored.record, f, reserved);
        else
            stored.Read(f);
    }
    TSettingsRecord r = stored.record;
    SettingsJsonImport result;
    for (const auto& [field, text] : EditsOf(stored.shown, r)) {
        // No control edits these: their value is shown only.
        if (field->kind == EditKind::Stored || field->kind == EditKind::Accumulator)
            Refuse(QStringLiteral("%1: its \"value\" is shown only; change its \"stored\" "
                                  "number instead.")
                       .arg(FieldKey(field->name)));
        EditorStore(r, *field, text, protocols);
        result.valuesTaken << QStringLiteral("%1: %2").arg(QLatin1String(field->name), text);
    }

    const auto record = r.ToBytes();
    QByteArray image(reinterpret_cast<const char*>(record.data()), qsizetype(record.size()));
    result.file = EncodeSettingsFile(version, image + rest);
    return result;
}

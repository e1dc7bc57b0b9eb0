#include "model/field_edit.h"

#include "model/field_text.h"
#include "support/conversions.h"
#include "support/errors.h"
#include "support/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using enum EditKind;
using namespace FieldItems;

// The helpers TRIPCONF_SETTINGS_FIELDS describes the fields with; the name
// is the list's.
EditField Spin(const char* control, const char* unit, double min, double max, int decimals = 0,
               double scale = 1, double step = 1) {
    return {"", control, Number, unit, decimals, scale, min, max, step};
}

EditField Percent(const char* control, double min, double max) {
    return {"", control, Correction, "%", 1, 1, min, max};
}

EditField Listed(const char* control, QStringList (*items)()) {
    EditField f{"", control, Choice};
    f.items = items;
    return f;
}

EditField Plain(EditKind kind = Stored, const char* control = "", const char* unit = "") {
    return {"", control, kind, unit};
}

// A row of the colour grid, whose spin edit shows the selected row.
EditField ColourRow(int row) {
    EditField f{"", "seDigit", Colour, "", 0, 1, 0, 15};
    f.detail = row;
    return f;
}

// The tank's litres end at its capacity.
EditField UpToTankFull(EditField f) {
    f.tankMax = true;
    return f;
}

EditField SteppedOnly(EditField f) {
    f.typing = false;
    return f;
}

EditField Shown(ShownAs how, EditField f) {
    f.shownAs = how;
    return f;
}

// Millilitres and metres as litres and kilometres.
EditField Thousandths(EditField f) {
    f.decimals = 3;
    f.scale = 1000;
    return f;
}

EditField ByProtocol(ProtocolItems how, EditField f) {
    f.byProtocol = how;
    return f;
}

EditField OnlyWithBit(int bit, EditField f) {
    f.onlyWithBit = bit;
    return f;
}

EditField ProtocolNumber(EditField f) {
    f.protocolNumber = true;
    return f;
}

EditField OnLeaving(EditField f) {
    f.onLeaving = true;
    return f;
}

EditField Named(const char* name, EditField f) {
    f.name = name;
    return f;
}

// One bit of a record field, shown as a choice.
EditField Bit(const char* name, const char* field, int bit, EditField f) {
    f.name = name;
    f.kind = Flag;
    f.detail = bit;
    f.storedIn = field;
    return f;
}

using enum ShownAs;
using enum ProtocolItems;

std::vector<EditField> MakeFields() {
#define TRIPCONF_EDIT_FIELD(name, offset, type, ...) Named(#name, __VA_ARGS__),
#define TRIPCONF_EDIT_BIT(name, field, bit, ...) Bit(#name, #field, bit, __VA_ARGS__),
#define TRIPCONF_NO_EDIT(...)
    return {TRIPCONF_SETTINGS_FIELDS(TRIPCONF_EDIT_FIELD, TRIPCONF_EDIT_BIT, TRIPCONF_NO_EDIT)};
#undef TRIPCONF_EDIT_FIELD
#undef TRIPCONF_EDIT_BIT
#undef TRIPCONF_NO_EDIT
}

const TProtocolList& Catalogue() {
    static const TProtocolList catalogue = CreateProtocolCatalogue();
    return catalogue;
}

QString Name(const EditField& f) {
    return QString::fromLatin1(f.name);
}

[[noreturn]] void Refuse(const EditField& f, const QString& why) {
    throw TripError(Name(f) + QStringLiteral(": ") + why);
}

// The protocol's entry, or null for a number without one.
const TProtBase* ProtocolOf(const TSettingsRecord& r, const TProtocolList& protocols) {
    return r.Protocol >= 0 && size_t(r.Protocol) < protocols.size()
               ? protocols[size_t(r.Protocol)].get()
               : nullptr;
}

struct Items {
    QStringList texts;
    int first = 0; // items before first and after last are disabled
    int last = -1;
    QString why; // why the control takes no item at all, or empty
};

// The Flag field of that bit of Flags.
const EditField& BitField(int bit) {
    for (const EditField& f : EditFields())
        if (f.kind == Flag && f.detail == bit)
            return f;
    throw std::logic_error("no field names that bit of Flags");
}

// Narrows the items to those the protocol offers.
void FollowProtocol(Items& items, const EditField& f, const TProtBase& p) {
    switch (f.byProtocol) {
    case Fans: {
        const FanChannels range = FanChannelRange(p);
        items.first = range.first;
        // Without a choice the channel is the protocol's own.
        items.last = p.FanChannelChoice ? range.last : range.first;
        break;
    }
    case FuelMethods:
        items.texts = FuelLevelMethods(p);
        items.last = int(items.texts.size()) - 1;
        break;
    case GearboxOil:
        if (!HasGearboxOilSource(p))
            items.why =
                QStringLiteral("the protocol %1 has no gearbox oil temperature").arg(p.Name);
        break;
    case None:
        break;
    }
}

// The items a choice offers for r, as the editor enables them.
Items ItemsFor(const EditField& f, const TSettingsRecord& r, const TProtocolList& protocols) {
    Items items;
    if (f.kind == Protocol) {
        for (const auto& p : protocols)
            items.texts << p->Name;
    } else {
        items.texts = f.items();
    }
    items.last = int(items.texts.size()) - 1;
    if (f.byProtocol == None) {
        if (f.onlyWithBit >= 0 && !BitOf(r, BitField(f.onlyWithBit))) {
            const EditField& bit = BitField(f.onlyWithBit);
            items.why = QStringLiteral("used only with %1 %2").arg(Name(bit), bit.items().at(1));
        }
        return items;
    }
    const TProtBase* p = ProtocolOf(r, protocols);
    if (!p) {
        items.why = QStringLiteral("the protocol %1 is not in the catalogue: set Protocol first")
                        .arg(r.Protocol);
        return items;
    }
    FollowProtocol(items, f, *p);
    return items;
}

QString StoredText(const EditField& f, double stored) {
    if (f.kind == Correction)
        return QString::number(stored, 'g', 9);
    return QString::number(stored, 'f', 0);
}

QString LimitText(double v, int decimals) {
    return FixedText(v, decimals, QStringLiteral("."));
}

QString RangeText(const EditField& f, const EditLimits& l) {
    return WithUnit(LimitText(l.min, f.decimals) + QStringLiteral("..") +
                        LimitText(l.max, f.decimals),
                    QString::fromUtf8(f.unit));
}

// Only a tank's litres have a limit that can cross: the capacity of an erased record.
QString NoValueFits(const TSettingsRecord& r) {
    return QStringLiteral("no value fits, as the tank's capacity TankContFull is %1")
        .arg(WithUnit(QString::number(r.TankContFull), QStringLiteral("л")));
}

// What the editor stores in the field's place when it opens, or empty: it
// applies the protocol, which sets the fan channel and LastProtocol.
QString OpeningResets(const EditField& f, const TSettingsRecord& r) {
    const TProtBase* p = ProtocolOf(r, Catalogue());
    if (!p)
        return {};
    const double stored = StoredNumber(r, RecordFieldOf(f));
    if (f.byProtocol == Fans) {
        const int first = FanChannelRange(*p).first;
        if (stored == first)
            return {};
        return QStringLiteral("the editor sets %1, the protocol's first channel, when it opens")
            .arg(f.items().value(first));
    }
    if (f.protocolNumber && stored != r.Protocol)
        return QStringLiteral("the editor sets %1, the protocol's number, when it opens")
            .arg(r.Protocol);
    return {};
}

QString ItemRange(const Items& items) {
    QStringList offered;
    for (int i = items.first; i <= items.last && i < items.texts.size(); ++i)
        offered << QStringLiteral("%1 (%2)").arg(items.texts[i].trimmed()).arg(i);
    return QStringLiteral("one of: ") + offered.join(QStringLiteral(", "));
}

int Distance(const QString& a, const QString& b) {
    std::vector<int> row(size_t(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min(
                {above + 1, row[size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

} // namespace

std::span<const EditField> EditFields() {
    static const std::vector<EditField> fields = MakeFields();
    return fields;
}

const EditField* FindEditField(const QString& name) {
    for (const EditField& f : EditFields())
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

QStringList ClosestFieldNames(const QString& name, int count) {
    const QString wanted = name.toLower();
    std::vector<std::pair<int, QString>> ranked;
    for (const EditField& f : EditFields()) {
        const QString candidate = Name(f).toLower();
        int d = Distance(wanted, candidate);
        if (!wanted.isEmpty() && candidate.contains(wanted))
            d = std::min(d, 1);
        if (d <= std::max<qsizetype>(2, wanted.size() / 3))
            ranked.emplace_back(d, Name(f));
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList out;
    for (const auto& r : ranked)
        if (out.size() < count)
            out << r.second;
    return out;
}

const FieldInfo& RecordFieldOf(const EditField& f) {
    return *FindField(f.storedIn ? f.storedIn : f.name);
}

std::vector<const EditField*> PartsOf(const FieldInfo& f) {
    std::vector<const EditField*> parts;
    for (const EditField& e : EditFields())
        if (e.storedIn && &RecordFieldOf(e) == &f)
            parts.push_back(&e);
    return parts;
}

const EditField* EditFieldOf(const FieldInfo& f) {
    for (const EditField& e : EditFields())
        if (!e.storedIn && &RecordFieldOf(e) == &f)
            return &e;
    return nullptr;
}

bool BitOf(const TSettingsRecord& r, const EditField& f) {
    return (uint32_t(StoredNumber(r, RecordFieldOf(f))) >> f.detail) & 1u;
}

void SetBit(TSettingsRecord& r, const EditField& f, bool on) {
    const uint32_t word = uint32_t(StoredNumber(r, RecordFieldOf(f)));
    StoreNumber(r, RecordFieldOf(f), (word & ~(1u << f.detail)) | (on ? 1u << f.detail : 0u));
}

EditLimits LimitsOf(const EditField& f, const TSettingsRecord& r) {
    if (f.tankMax)
        return {f.min, double(r.TankContFull)};
    return {f.min, f.max};
}

double StoredNumber(const TSettingsRecord& r, const FieldInfo& f) {
    const auto bytes = r.ToBytes();
    return FieldValue(bytes, f);
}

void StoreNumber(TSettingsRecord& r, const FieldInfo& f, double v) {
    auto* p = reinterpret_cast<uint8_t*>(&r) + f.offset;
    auto put = [p](auto value) { std::memcpy(p, &value, sizeof value); };
    switch (f.type) {
    case FieldType::I8:
        return put(RoundToField<int8_t>(v));
    case FieldType::U8:
        return put(RoundToField<uint8_t>(v));
    case FieldType::I16:
        return put(RoundToField<int16_t>(v));
    case FieldType::U16:
        return put(RoundToField<uint16_t>(v));
    case FieldType::U32:
        return put(RoundToField<uint32_t>(v));
    case FieldType::F32:
        // A finite number beyond a float's range has no defined conversion.
        if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
            break;
        return put(float(v));
    case FieldType::Bytes:
        break;
    }
    ThrowRangeError();
}

double ShownNumber(const EditField& f, const TSettingsRecord& r) {
    const double stored = StoredNumber(r, RecordFieldOf(f));
    if (f.shownAs == RoundedOnce) {
        const double tenths = std::pow(10.0, f.decimals);
        return RoundHalfEven(stored / (f.scale / tenths)) / tenths;
    }
    if (f.shownAs == WholeUnits)
        return std::floor(stored / f.scale);
    if (f.kind == Colour)
        return double(int(stored) & 0x0F);
    if (f.kind == Flag)
        return double(BitOf(r, f));
    if (f.kind == Correction)
        return ShownCorrectionPercent(float(stored));
    return stored / f.scale;
}

namespace {

// A number as its spin edit shows it, brought into the limits as the edit
// brings it in.
void ShowNumber(EditorView& v, const EditField& f, const TSettingsRecord& r, const QString& point) {
    const QString& stored = v.storedText;
    const EditLimits l = LimitsOf(f, r);
    const double scale = std::pow(10.0, f.decimals);
    double shown = RoundHalfEven(ShownNumber(f, r) * scale) / scale;
    if (l.crossed()) {
        v.outside = QStringLiteral("stored %1: %2").arg(stored, NoValueFits(r));
        // As the spin edit brings it in: below the minimum the minimum, else the maximum.
        shown = shown < l.min ? l.min : l.max;
    } else if (!l.none() && (shown < l.min || shown > l.max)) {
        v.outside = QStringLiteral("stored %1 lies outside %2").arg(stored, RangeText(f, l));
        shown = std::clamp(shown, l.min, l.max);
    }
    v.text = FixedText(shown, f.decimals, point);
}

// The item a list shows for the stored number, if it has one.
void ShowItem(EditorView& v, const EditField& f, const TSettingsRecord& r) {
    const QString& stored = v.storedText;
    const Items items = ItemsFor(f, r, Catalogue());
    const int i = int(v.stored);
    if (i >= 0 && i < items.texts.size()) {
        v.text = items.texts[i];
        if (items.why.isEmpty() && (i < items.first || i > items.last))
            v.outside =
                QStringLiteral("stored %1 is not offered: %2").arg(stored, ItemRange(items));
    } else {
        v.text = QStringLiteral("(none)");
        v.outside = QStringLiteral("stored %1 is not %2").arg(stored, ItemRange(items));
    }
}

} // namespace

EditorView EditorShows(const EditField& f, const TSettingsRecord& r, const QString& point) {
    EditorView v;
    v.unit = QString::fromUtf8(f.unit);
    v.stored = StoredNumber(r, RecordFieldOf(f));
    if (f.kind == Flag)
        v.stored = ShownNumber(f, r);
    const QString stored = v.storedText = StoredText(f, v.stored);
    switch (f.kind) {
    case Number:
    case Correction:
        ShowNumber(v, f, r, point);
        break;
    case Choice:
    case Flag:
    case Protocol:
        ShowItem(v, f, r);
        break;
    case Time:
        v.text = MinutesToTimeText(uint16_t(int(v.stored)));
        if (v.stored < 0 || v.stored >= 24 * 60)
            v.outside = QStringLiteral("stored %1 minutes lies outside 00:00..23:59").arg(stored);
        break;
    case Colour:
        v.text = QString::number(ShownNumber(f, r));
        if (v.stored > 15)
            v.outside = QStringLiteral("stored %1 lies outside 0..15; the display uses its low "
                                       "four bits")
                            .arg(stored);
        break;
    case Accumulator:
        if (f.shownAs == HoursMinutes)
            v.text = AccumulatorTimeText(uint32_t(v.stored));
        else
            v.text = FixedText(v.stored / f.scale, f.decimals, point);
        break;
    case Stored:
        v.text = stored;
        break;
    }
    v.resets = OpeningResets(f, r);
    return v;
}

QString AllowedText(const EditField& f, const TSettingsRecord& r, const TProtocolList& protocols) {
    switch (f.kind) {
    case Number:
    case Correction:
    case Colour: {
        const EditLimits l = LimitsOf(f, r);
        if (l.crossed())
            return NoValueFits(r) + QStringLiteral(": set TankContFull first");
        QString text = l.none() ? QStringLiteral("any number the field holds") : RangeText(f, l);
        if (!f.typing)
            text += QStringLiteral(" in steps of %1").arg(f.step);
        return text;
    }
    case Choice:
    case Flag:
    case Protocol: {
        const Items items = ItemsFor(f, r, protocols);
        return items.why.isEmpty() ? ItemRange(items) : items.why;
    }
    case Time:
        return QStringLiteral("a time of day, 00:00..23:59");
    case Accumulator:
        return QStringLiteral("the editor only resets the accumulators; use --raw");
    case Stored:
        return QStringLiteral("not in the editor; use --raw");
    }
    return {};
}

namespace {

[[noreturn]] void RefuseOutside(const EditField& f, const QString& typed, const QString& allowed) {
    Refuse(f, QStringLiteral("%1 is outside %2").arg(typed.trimmed(), allowed));
}

void StoreTypedNumber(TSettingsRecord& r, const EditField& f, const QString& typed,
                      const QString& allowed) {
    const EditLimits l = LimitsOf(f, r);
    if (l.crossed())
        Refuse(f, QStringLiteral("not set: %1").arg(allowed));
    const std::optional<double> v = ParseFixed(typed, f.decimals);
    if (!v)
        Refuse(f, QStringLiteral("'%1' is not a %2number; allowed: %3")
                      .arg(typed, f.decimals ? QString() : QStringLiteral("whole "), allowed));
    // Rounded, the value would not be the one typed: refused, as a
    // whole-number control refuses a fraction.
    if (const int typedDecimals = FixedTextDecimals(typed); typedDecimals > f.decimals)
        Refuse(f, QStringLiteral("'%1' has %2 decimals, more than the field's %3; allowed: %4")
                      .arg(typed.trimmed())
                      .arg(typedDecimals)
                      .arg(f.decimals)
                      .arg(allowed));
    if (!l.none() && (*v < l.min || *v > l.max))
        RefuseOutside(f, typed, allowed);
    // A control the user can only step reaches the steps from its minimum.
    if (!f.typing && *v != l.max && std::fmod(*v - l.min, f.step) != 0)
        RefuseOutside(f, typed, allowed);
    try {
        if (f.kind == Correction)
            StoreNumber(r, RecordFieldOf(f), double(PercentToCorrection(*v)));
        else
            StoreNumber(r, RecordFieldOf(f), *v * f.scale);
    } catch (const TripError& e) {
        Refuse(f, QStringLiteral("%1; allowed: %2").arg(ExceptionMessage(e), allowed));
    }
}

// The item a text names: its own text (any case), else its number.
int ChosenItem(const EditField& f, const Items& items, const QString& typed) {
    if (!items.why.isEmpty())
        Refuse(f, QStringLiteral("not set: %1").arg(items.why));
    const QString t = typed.trimmed();
    int index = -1;
    for (int i = 0; i < items.texts.size() && index < 0; ++i)
        if (items.texts[i].trimmed().compare(t, Qt::CaseInsensitive) == 0)
            index = i;
    bool number = true;
    if (index < 0)
        index = t.toInt(&number);
    if (!number || index < items.first || index > items.last)
        Refuse(f, QStringLiteral("'%1' is not %2").arg(typed, ItemRange(items)));
    return index;
}

void StoreChoice(TSettingsRecord& r, const EditField& f, const QString& typed,
                 const TProtocolList& protocols) {
    const int index = ChosenItem(f, ItemsFor(f, r, protocols), typed);
    if (f.kind == Flag)
        return SetBit(r, f, index != 0);
    StoreNumber(r, RecordFieldOf(f), index);
    if (f.kind == Protocol)
        ApplyProtocolFields(r, *protocols[size_t(index)], index);
}

void StoreTime(TSettingsRecord& r, const EditField& f, const QString& typed,
               const QString& allowed) {
    const QString t = typed.trimmed();
    const qsizetype colon = t.indexOf(QLatin1Char(':'));
    bool hoursOk = false, minutesOk = false;
    const int hours = t.left(colon).toInt(&hoursOk);
    const int minutes = t.mid(colon + 1).toInt(&minutesOk);
    if (colon < 1 || colon > 2 || t.size() - colon != 3 || !hoursOk || !minutesOk ||
        t.left(colon).contains(QLatin1Char('-')) || t.mid(colon + 1).contains(QLatin1Char('-')))
        Refuse(f, QStringLiteral("'%1' is not a time; allowed: %2").arg(typed, allowed));
    if (hours > 23 || minutes > 59)
        RefuseOutside(f, typed, allowed);
    StoreNumber(r, RecordFieldOf(f), hours * 60 + minutes);
}

} // namespace

void ApplyProtocolFields(TSettingsRecord& r, const TProtBase& p, int number) {
    for (const EditField& f : EditFields()) {
        if (f.protocolNumber)
            StoreNumber(r, RecordFieldOf(f), number);
        if (f.byProtocol == ProtocolItems::Fans)
            StoreNumber(r, RecordFieldOf(f), FanChannelRange(p).first);
    }
}

void EditorStore(TSettingsRecord& r, const EditField& f, const QString& typed,
                 const TProtocolList& protocols) {
    const QString allowed = AllowedText(f, r, protocols);
    switch (f.kind) {
    case Number:
    case Correction:
    case Colour:
        return StoreTypedNumber(r, f, typed, allowed);
    case Choice:
    case Flag:
    case Protocol:
        return StoreChoice(r, f, typed, protocols);
    case Time:
        return StoreTime(r, f, typed, allowed);
    case Accumulator:
    case Stored:
        Refuse(f, allowed);
    }
}

void StoreRaw(TSettingsRecord& r, const EditField& f, const QString& number) {
    const FieldInfo& field = RecordFieldOf(f);
    const QString t = number.trimmed();
    if (f.kind == Flag) {
        if (t != QStringLiteral("0") && t != QStringLiteral("1"))
            Refuse(f, QStringLiteral("'%1' is not a stored bit: 0 or 1").arg(number));
        SetBit(r, f, t == QStringLiteral("1"));
        return;
    }
    if (field.type == FieldType::F32) {
        bool ok = false; // "nan" and "inf" are numbers here
        const double v = t.toDouble(&ok);
        if (!ok)
            Refuse(f, QStringLiteral("'%1' is not a stored number: a real number").arg(number));
        // Only an infinity asked for is stored as one, and 0 only for 0.
        if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max())
            Refuse(f, QStringLiteral("'%1' is beyond a single-precision number (at most %2 "
                                     "either side of 0), which would hold it as %3inf")
                          .arg(number.trimmed())
                          .arg(double(std::numeric_limits<float>::max()), 0, 'g', 9)
                          .arg(v < 0 ? QStringLiteral("-") : QString()));
        if (v != 0 && float(v) == 0)
            Refuse(f, QStringLiteral("'%1' is nearer 0 than a single-precision number holds "
                                     "(at least %2 either side of 0): it would be stored as 0")
                          .arg(number.trimmed())
                          .arg(double(std::numeric_limits<float>::denorm_min()), 0, 'g', 9));
        StoreNumber(r, field, v);
        return;
    }
    static const struct {
        FieldType type;
        double min, max;
        const char* name;
    } kTypes[] = {{FieldType::I8, -128, 127, "a signed byte"},
                  {FieldType::U8, 0, 255, "a byte"},
                  {FieldType::I16, -32768, 32767, "a signed 16-bit number"},
                  {FieldType::U16, 0, 65535, "an unsigned 16-bit number"},
                  {FieldType::U32, 0, 4294967295.0, "an unsigned 32-bit number"}};
    for (const auto& type : kTypes) {
        if (type.type != field.type)
            continue;
        bool ok = false;
        const qlonglong v = t.toLongLong(&ok);
        if (!ok || v < type.min || v > type.max)
            Refuse(f, QStringLiteral("'%1' is not a stored number: %2, %3..%4")
                          .arg(number, QString::fromLatin1(type.name))
                          .arg(qlonglong(type.min))
                          .arg(qlonglong(type.max)));
        StoreNumber(r, field, double(v));
        return;
    }
    Refuse(f, QStringLiteral("has no stored number"));
}

std::optional<FieldText> ShownFieldText(const TSettingsRecord& r, const FieldInfo& f,
                                        const QString& point) {
    if (IsReserved(f))
        return std::nullopt;
    if (std::vector<const EditField*> parts = PartsOf(f); !parts.empty()) {
        // Its bits, lowest first.
        std::sort(parts.begin(), parts.end(),
                  [](const EditField* a, const EditField* b) { return a->detail < b->detail; });
        QStringList bits;
        for (const EditField* part : parts)
            bits << Name(*part) + QLatin1Char(' ') + EditorShows(*part, r, point).text;
        return FieldText{bits.join(QStringLiteral(", ")), QString(), QString(), QString()};
    }
    const EditField* e = FindEditField(QString::fromLatin1(f.name));
    if (!e)
        return std::nullopt;
    const EditorView v = EditorShows(*e, r, point);
    return FieldText{v.text, v.unit, v.outside, v.resets};
}

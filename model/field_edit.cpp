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

EditField Spin(const char* name, const char* control, const char* unit, double min, double max,
               int decimals = 0, double scale = 1, double step = 1) {
    return {name, control, Number, unit, decimals, scale, min, max, step};
}

EditField Listed(const char* name, const char* control, QStringList (*items)()) {
    EditField f{name, control, Choice};
    f.items = items;
    return f;
}

// One bit of Flags, shown as a choice.
EditField Bit(const char* name, const char* control, QStringList (*items)(), int bit) {
    EditField f = Listed(name, control, items);
    f.kind = Flag;
    f.detail = bit;
    f.storedIn = "Flags";
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

EditField Plain(const char* name, EditKind kind = Stored, const char* control = "",
                const char* unit = "") {
    return {name, control, kind, unit};
}

std::vector<EditField> MakeFields() {
    std::vector<EditField> v = {
        Plain("Size"),
        Plain("Flags"),
        Bit("LockType", "rgLockType", LockType, 4),
        Bit("AlarmVelType", "rgAlarmVelType", AlarmVelType, 3),
        {"ExpenseCorr", "seExpenseCorr", Correction, "%", 1, 1, -99.0, 999.9},
        {"VelocityCorr", "seVelocityCorr", Correction, "%", 1, 1, -99.0, 999.9},
        Plain("TripTime", Accumulator, "sgTripSum"),
        Plain("TripPath", Accumulator, "sgTripSum", "км"),
        Plain("TripFuel", Accumulator, "sgTripSum", "л"),
        Plain("ResetTime", Accumulator, "sgResetSum"),
        Plain("ResetPath", Accumulator, "sgResetSum", "км"),
        Plain("ResetFuel", Accumulator, "sgResetSum", "л"),
        Spin("TOPath", "seTOPath", "тыс.км", 0, 99.9, 1, 1000000.0),
        Spin("TOTime", "seTOTime", "ч", 0, 9999, 0, 3600.0),
        Spin("UaccLowLimit", "seUaccLowLimit", "В", 9.0, 13.9, 1, 10, 2),
        Spin("UaccHighLimit", "seUaccHighLimit", "В", 14.0, 16.0, 1, 10, 2),
        Spin("AKPPOilTemperLimit", "seAKPPOilTemperLimit", "С", 80, 150),
        Spin("Oil6L", "seOil6L", "у.е.", 0, 2000),
        UpToTankFull(Spin("Lit6L", "seLit6L", "л", 0, 0)),
        Spin("Oil43L", "seOil43L", "у.е.", 0, 2000),
        UpToTankFull(Spin("Lit43L", "seLit43L", "л", 0, 0)),
        Spin("Intense0", "seIntense0", "", 0, 4),
        Spin("Intense1", "seIntense1", "", 0, 4),
        Listed("IntenseMeth", "rgIntenseMeth", IntenseMeth),
        Listed("ToTOMeth", "rgToTOMeth", ToTOMeth),
        Plain("IntenseDayTime", Time, "meIntenseDayTime"),
        Plain("IntenseNightTime", Time, "meIntenseNightTime"),
        Plain("Protocol", Protocol, "cbProtocol"),
        Plain("LastProtocol"),
        Spin("AccCorr", "seAccCorr", "В", -0.7, 0.7, 1, 10, 0.1),
        Listed("VentChan", "rgVentChan", VentChan),
        Spin("RevolutionsLimit", "seRevolutionsLimit", "об/мин * 100", 25, 80),
        SteppedOnly(Spin("VelocityLimit", "seVelocityLimit", "км/час", 20, 200, 0, 1, 2)),
        Spin("LiqTemperLimit", "seLiqTemperLimit", "С", 80, 120),
        UpToTankFull(Spin("TankLimit", "seTankLimit", "л", 0, 0, 0, 1, 2)),
        Spin("VentTempLimit", "seVentTempLimit", "С", 80, 115),
        Spin("TankContFull", "seTankContFull", "л", 16, 99),
        Listed("TankMeth", "cbTankMeth", TankMeth),
        Listed("LockLevel", "rgLockLevel", LockLevel),
        Listed("TempOilAKPPMeth", "cbTempOilAKPPMeth", TempOilAKPPMeth),
        Spin("TimeCorr", "seTimeCorr", "секунд в сутки", -30, 30),
        Listed("AlarmBeep", "rgAlarmBeep", AlarmBeep),
    };
    int row = 0;
    for (const char* name : {"DigitColor1", "DigitBack1", "DigitColor2", "DigitBack2"}) {
        EditField f{name, "seDigit", Colour, "", 0, 1, 0, 15};
        f.detail = row++;
        v.push_back(f);
    }
    return v;
}

const TProtocolList& Catalogue() {
    static const TProtocolList catalogue = CreateProtocolCatalogue();
    return catalogue;
}

bool Is(const EditField& f, const char* name) {
    return std::strcmp(f.name, name) == 0;
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
    const bool byProtocol = Is(f, "VentChan") || Is(f, "TankMeth") || Is(f, "TempOilAKPPMeth");
    if (!byProtocol) {
        if (Is(f, "LockLevel") && !((r.Flags >> 4) & 1))
            items.why = QStringLiteral("used only with LockType %1").arg(LockType().at(1));
        return items;
    }
    const TProtBase* p = ProtocolOf(r, protocols);
    if (!p) {
        items.why = QStringLiteral("the protocol %1 is not in the catalogue: set Protocol first")
                        .arg(r.Protocol);
        return items;
    }
    if (Is(f, "VentChan")) {
        const FanChannels range = FanChannelRange(*p);
        items.first = range.first;
        // Without a choice the channel is the protocol's own.
        items.last = p->FanChannelChoice ? range.last : range.first;
    } else if (Is(f, "TankMeth")) {
        items.texts = FuelLevelMethods(*p);
        items.last = int(items.texts.size()) - 1;
    } else if (!HasGearboxOilSource(*p)) {
        items.why = QStringLiteral("the protocol %1 has no gearbox oil temperature").arg(p->Name);
    }
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
    if (Is(f, "VentChan")) {
        const int first = FanChannelRange(*p).first;
        if (r.VentChan == first)
            return {};
        return QStringLiteral("the editor sets %1, the protocol's first channel, when it opens")
            .arg(FieldItems::VentChan().value(first));
    }
    if (Is(f, "LastProtocol") && r.LastProtocol != r.Protocol)
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
    if (Is(f, "TOPath"))
        return TOPathThousandKm(r.TOPath);
    if (Is(f, "TOTime"))
        return TOTimeHours(r.TOTime);
    if (f.kind == Colour)
        return double(int(stored) & 0x0F);
    if (f.kind == Flag)
        return double((r.Flags >> f.detail) & 1u);
    if (f.kind == Correction)
        return ShownCorrectionPercent(float(stored));
    return stored / f.scale;
}

EditorView EditorShows(const EditField& f, const TSettingsRecord& r, const QString& point) {
    EditorView v;
    v.unit = QString::fromUtf8(f.unit);
    v.stored = StoredNumber(r, RecordFieldOf(f));
    if (f.kind == Flag)
        v.stored = ShownNumber(f, r);
    const QString stored = v.storedText = StoredText(f, v.stored);
    switch (f.kind) {
    case Number:
    case Correction: {
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
        break;
    }
    case Choice:
    case Flag:
    case Protocol: {
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
        break;
    }
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
        if (Is(f, "TripTime") || Is(f, "ResetTime"))
            v.text = AccumulatorTimeText(uint32_t(v.stored));
        else
            v.text = FixedText(v.stored / 1000.0, 3, point);
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

void EditorStore(TSettingsRecord& r, const EditField& f, const QString& typed,
                 const TProtocolList& protocols) {
    const QString allowed = AllowedText(f, r, protocols);
    auto outside = [&] {
        Refuse(f, QStringLiteral("%1 is outside %2").arg(typed.trimmed(), allowed));
    };
    const FieldInfo& field = RecordFieldOf(f);
    switch (f.kind) {
    case Number:
    case Correction:
    case Colour: {
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
            outside();
        // A control the user can only step reaches the steps from its minimum.
        if (!f.typing && *v != l.max && std::fmod(*v - l.min, f.step) != 0)
            outside();
        try {
            if (f.kind == Correction)
                StoreNumber(r, field, double(PercentToCorrection(*v)));
            else
                StoreNumber(r, field, *v * f.scale);
        } catch (const TripError& e) {
            Refuse(f, QStringLiteral("%1; allowed: %2").arg(ExceptionMessage(e), allowed));
        }
        return;
    }
    case Choice:
    case Flag:
    case Protocol: {
        const Items items = ItemsFor(f, r, protocols);
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
        if (f.kind == Flag) {
            r.Flags = (r.Flags & ~(1u << f.detail)) | (index ? 1u << f.detail : 0u);
            return;
        }
        StoreNumber(r, field, index);
        if (f.kind == Protocol) {
            // Choosing a protocol applies it, as the editor's list does.
            const TProtBase& p = *protocols[size_t(index)];
            r.LastProtocol = uint8_t(index);
            r.VentChan = int8_t(FanChannelRange(p).first);
        }
        return;
    }
    case Time: {
        const QString t = typed.trimmed();
        const qsizetype colon = t.indexOf(QLatin1Char(':'));
        bool hoursOk = false, minutesOk = false;
        const int hours = t.left(colon).toInt(&hoursOk);
        const int minutes = t.mid(colon + 1).toInt(&minutesOk);
        if (colon < 1 || colon > 2 || t.size() - colon != 3 || !hoursOk || !minutesOk ||
            t.left(colon).contains(QLatin1Char('-')) || t.mid(colon + 1).contains(QLatin1Char('-')))
            Refuse(f, QStringLiteral("'%1' is not a time; allowed: %2").arg(typed, allowed));
        if (hours > 23 || minutes > 59)
            outside();
        StoreNumber(r, field, hours * 60 + minutes);
        return;
    }
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
        r.Flags = (r.Flags & ~(1u << f.detail)) | (t == QStringLiteral("1") ? 1u << f.detail : 0u);
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
    if (std::strcmp(f.name, "Flags") == 0) {
        QStringList bits;
        for (const char* name : {"AlarmVelType", "LockType"})
            bits << Name(*FindEditField(QString::fromLatin1(name))) + QLatin1Char(' ') +
                        EditorShows(*FindEditField(QString::fromLatin1(name)), r, point).text;
        return FieldText{bits.join(QStringLiteral(", ")), QString(), QString(), QString()};
    }
    const EditField* e = FindEditField(QString::fromLatin1(f.name));
    if (!e)
        return std::nullopt;
    const EditorView v = EditorShows(*e, r, point);
    return FieldText{v.text, v.unit, v.outside, v.resets};
}

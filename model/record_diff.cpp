#include "model/record_diff.h"

#include "model/field_edit.h"

#include <algorithm>

namespace {

QString HexBytes(RecordBytes r, const FieldInfo& f) {
    const QByteArray bytes(reinterpret_cast<const char*>(r.data()) + f.offset, FieldWidth(f));
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

bool BytesDiffer(RecordBytes a, RecordBytes b, int from, int to) {
    return !std::equal(a.begin() + from, a.begin() + to, b.begin() + from);
}

} // namespace

QString FieldLabel(const FieldInfo& f) {
    if (!IsReserved(f))
        return QString::fromLatin1(f.name);
    const int last = f.offset + FieldWidth(f) - 1;
    const auto hex = [](int v) {
        return QStringLiteral("0x") +
               QString::number(v, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    };
    return last == f.offset ? QStringLiteral("reserved byte %1").arg(hex(f.offset))
                            : QStringLiteral("reserved bytes %1..%2").arg(hex(f.offset), hex(last));
}

const FieldInfo& FieldAt(int offset) {
    for (const FieldInfo& f : RecordFields())
        if (offset >= f.offset && offset < f.offset + FieldWidth(f))
            return f;
    return RecordFields().back();
}

QString StoredNumberText(double v) {
    return QString::number(v, 'g', 10);
}

QString SideText(const FieldDifference& d, bool sideA) {
    QString text = WithUnit(sideA ? d.shownA : d.shownB, d.unit);
    if (d.showStored)
        text += QStringLiteral(" (stored %1)").arg(StoredNumberText(sideA ? d.rawA : d.rawB));
    return text;
}

std::vector<FieldDifference> CompareRecords(RecordBytes a, RecordBytes b, int length) {
    length = std::clamp(length, 0, TSettingsRecord::kSize);
    const TSettingsRecord ra = TSettingsRecord::FromBytes(a);
    const TSettingsRecord rb = TSettingsRecord::FromBytes(b);
    std::vector<FieldDifference> out;
    for (const FieldInfo& f : RecordFields()) {
        if (f.offset >= length)
            break;
        if (!BytesDiffer(a, b, f.offset, std::min(length, f.offset + FieldWidth(f))))
            continue;
        FieldDifference d{};
        d.field = &f;
        const std::optional<FieldText> ta = ShownFieldText(ra, f);
        const std::optional<FieldText> tb = ShownFieldText(rb, f);
        if (ta && tb) {
            d.shownA = ta->text;
            d.shownB = tb->text;
            d.unit = ta->unit;
            d.rawA = FieldValue(a, f);
            d.rawB = FieldValue(b, f);
            d.showStored = ta->text == tb->text || !ta->outside.isEmpty() || !tb->outside.isEmpty();
            d.resetsA = ta->resets;
            d.resetsB = tb->resets;
        } else {
            d.shownA = HexBytes(a, f);
            d.shownB = HexBytes(b, f);
        }
        out.push_back(d);
    }
    return out;
}

ImageTailDifference CompareImageTails(const QByteArray& a, const QByteArray& b) {
    ImageTailDifference d;
    d.sizeA = a.size();
    d.sizeB = b.size();
    d.end = int(std::max<qsizetype>(std::max(a.size(), b.size()), TSettingsRecord::kSize));
    for (int i = TSettingsRecord::kSize; i < d.end; ++i) {
        const bool same = i < a.size() && i < b.size() && a[i] == b[i];
        if (same)
            continue;
        if (d.first < 0)
            d.first = i;
        ++d.count;
    }
    return d;
}

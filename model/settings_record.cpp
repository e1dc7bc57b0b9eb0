#include "model/settings_record.h"

#include <QtEndian>
#include <bit>
#include <cstring>

namespace {

using enum FieldType;

#define TRIPCONF_FIELD_INFO(name, offset, type, ...)                                               \
    {#name, offset, FieldTypeOf<type>(), std::is_array_v<type> ? int(sizeof(type)) : 1},
#define TRIPCONF_RESERVED_INFO(name, offset, type)                                                 \
    {#name, offset, FieldTypeOf<type>(), std::is_array_v<type> ? int(sizeof(type)) : 1, true},
#define TRIPCONF_NO_INFO(...)
constexpr FieldInfo kFields[] = {
    TRIPCONF_SETTINGS_FIELDS(TRIPCONF_FIELD_INFO, TRIPCONF_NO_INFO, TRIPCONF_RESERVED_INFO)};
#undef TRIPCONF_FIELD_INFO
#undef TRIPCONF_RESERVED_INFO
#undef TRIPCONF_NO_INFO

// The table must tile the record without gaps or overlaps.
constexpr bool TilesRecord() {
    int next = 0;
    for (const auto& f : kFields) {
        if (f.offset != next)
            return false;
        int w = f.type == Bytes                    ? f.count
                : (f.type == U32 || f.type == F32) ? 4
                : (f.type == I16 || f.type == U16) ? 2
                                                   : 1;
        next += w;
    }
    return next == TSettingsRecord::kSize;
}
static_assert(TilesRecord());

// Multi-byte scalars are swapped between host order and little-endian; on a
// little-endian host this is a plain copy.
void Convert(const uint8_t* from, uint8_t* to, bool toLittle) {
    for (const auto& f : kFields) {
        const int w = FieldWidth(f);
        const uint8_t* s = from + f.offset;
        uint8_t* d = to + f.offset;
        if (w == 1 || f.type == Bytes) {
            std::memcpy(d, s, size_t(w));
        } else if (w == 2) {
            if (toLittle)
                qToLittleEndian<uint16_t>(s, 1, d);
            else
                qFromLittleEndian<uint16_t>(s, 1, d);
        } else {
            if (toLittle)
                qToLittleEndian<uint32_t>(s, 1, d);
            else
                qFromLittleEndian<uint32_t>(s, 1, d);
        }
    }
}

} // namespace

std::span<const FieldInfo> RecordFields() {
    return kFields;
}

int FieldWidth(const FieldInfo& f) {
    switch (f.type) {
    case U32:
    case F32:
        return 4;
    case I16:
    case U16:
        return 2;
    case I8:
    case U8:
        return 1;
    case Bytes:
        return f.count;
    }
    return 1;
}

bool IsReserved(const FieldInfo& f) {
    return f.reserved;
}

double FieldValue(std::span<const uint8_t, TSettingsRecord::kSize> bytes, const FieldInfo& f) {
    const uint8_t* p = bytes.data() + f.offset;
    switch (f.type) {
    case I8:
        return int8_t(p[0]);
    case U8:
    case Bytes:
        return p[0];
    case I16:
        return qFromLittleEndian<int16_t>(p);
    case U16:
        return qFromLittleEndian<uint16_t>(p);
    case U32:
        return qFromLittleEndian<uint32_t>(p);
    case F32:
        return std::bit_cast<float>(qFromLittleEndian<uint32_t>(p));
    }
    return 0;
}

TSettingsRecord TSettingsRecord::Defaults() {
    TSettingsRecord r;
    std::memset(&r, 0, sizeof r);
    r.Size = kSize;
    r.Flags = 0x10;
    r.ExpenseCorr = 1.0f;
    r.VelocityCorr = 1.0f;
    r.Reserved28 = 5000;
    r.TOPath = 99900000;
    r.UaccLowLimit = 115;
    r.UaccHighLimit = 155;
    r.Reserved3C = 80;
    r.AKPPOilTemperLimit = 110;
    r.Oil6L = 12;
    r.Lit6L = 6;
    r.Oil43L = 100;
    r.Lit43L = 50;
    r.Intense0 = 4;
    r.Intense1 = 1;
    r.IntenseMeth = 1;
    r.IntenseDayTime = 480;
    r.IntenseNightTime = 1200;
    r.LastProtocol = 100;
    r.RevolutionsLimit = 80;
    r.VelocityLimit = 200;
    r.LiqTemperLimit = 115;
    r.TankLimit = 10;
    r.VentTempLimit = 115;
    r.TankContFull = 50;
    r.TankMeth = 1;
    r.Reserved6D = 51;
    r.LockLevel = 2;
    r.DigitColor1 = 10;
    r.DigitColor2 = 11;
    r.DigitBack2 = 4;
    return r;
}

std::array<uint8_t, TSettingsRecord::kSize> TSettingsRecord::ToBytes() const {
    std::array<uint8_t, kSize> out{};
    Convert(reinterpret_cast<const uint8_t*>(this), out.data(), true);
    return out;
}

TSettingsRecord TSettingsRecord::FromBytes(std::span<const uint8_t, kSize> bytes) {
    TSettingsRecord r;
    Convert(bytes.data(), reinterpret_cast<uint8_t*>(&r), false);
    return r;
}

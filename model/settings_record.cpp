#include "model/settings_record.h"

#include <QtEndian>
#include <bit>
#include <cstring>

namespace {

using enum FieldType;

constexpr FieldInfo kFields[] = {
    {"Size", 0x00, U32, 1},
    {"Flags", 0x04, U32, 1},
    {"ExpenseCorr", 0x08, F32, 1},
    {"VelocityCorr", 0x0C, F32, 1},
    {"TripTime", 0x10, U32, 1},
    {"TripPath", 0x14, U32, 1},
    {"TripFuel", 0x18, U32, 1},
    {"ResetTime", 0x1C, U32, 1},
    {"ResetPath", 0x20, U32, 1},
    {"ResetFuel", 0x24, U32, 1},
    {"Reserved28", 0x28, U32, 1},
    {"Reserved2C", 0x2C, U32, 1},
    {"TOPath", 0x30, U32, 1},
    {"TOTime", 0x34, U32, 1},
    {"UaccLowLimit", 0x38, U16, 1},
    {"UaccHighLimit", 0x3A, U16, 1},
    {"Reserved3C", 0x3C, U16, 1},
    {"AKPPOilTemperLimit", 0x3E, U16, 1},
    {"Oil6L", 0x40, U16, 1},
    {"Lit6L", 0x42, U16, 1},
    {"Oil43L", 0x44, U16, 1},
    {"Lit43L", 0x46, U16, 1},
    {"Reserved48", 0x48, Bytes, 8},
    {"Reserved50", 0x50, Bytes, 3},
    {"Reserved53", 0x53, Bytes, 2},
    {"Reserved55", 0x55, U8, 1},
    {"Intense0", 0x56, I8, 1},
    {"Intense1", 0x57, I8, 1},
    {"IntenseMeth", 0x58, I8, 1},
    {"ToTOMeth", 0x59, I8, 1},
    {"Reserved5A", 0x5A, Bytes, 2},
    {"IntenseDayTime", 0x5C, I16, 1},
    {"IntenseNightTime", 0x5E, I16, 1},
    {"Reserved60", 0x60, U8, 1},
    {"Protocol", 0x61, I8, 1},
    {"LastProtocol", 0x62, U8, 1},
    {"AccCorr", 0x63, I8, 1},
    {"VentChan", 0x64, I8, 1},
    {"RevolutionsLimit", 0x65, I8, 1},
    {"VelocityLimit", 0x66, I16, 1},
    {"LiqTemperLimit", 0x68, I8, 1},
    {"TankLimit", 0x69, I8, 1},
    {"VentTempLimit", 0x6A, I8, 1},
    {"TankContFull", 0x6B, I8, 1},
    {"TankMeth", 0x6C, I8, 1},
    {"Reserved6D", 0x6D, U8, 1},
    {"Reserved6E", 0x6E, Bytes, 5},
    {"LockLevel", 0x73, I8, 1},
    {"Reserved74", 0x74, U8, 1},
    {"TempOilAKPPMeth", 0x75, I8, 1},
    {"TimeCorr", 0x76, I8, 1},
    {"AlarmBeep", 0x77, I8, 1},
    {"DigitColor1", 0x78, U8, 1},
    {"DigitBack1", 0x79, U8, 1},
    {"DigitColor2", 0x7A, U8, 1},
    {"DigitBack2", 0x7B, U8, 1},
};

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
    return std::strncmp(f.name, "Reserved", 8) == 0;
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

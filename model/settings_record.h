#pragma once

#include "model/settings_fields.h"

#include <QByteArray>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

// The trip computer's settings record: the first 124 bytes of its parameter
// memory, one member for each line of TRIPCONF_SETTINGS_FIELDS (Size, Flags,
// ExpenseCorr, ... DigitBack2). Fields hold host-order values; ToBytes/FromBytes
// give the little-endian layout of the device and the files on any host.
struct TSettingsRecord {
#define TRIPCONF_MEMBER(name, offset, type, ...) std::type_identity_t<type> name;
#define TRIPCONF_NO_MEMBER(...)
    TRIPCONF_SETTINGS_FIELDS(TRIPCONF_MEMBER, TRIPCONF_NO_MEMBER, TRIPCONF_MEMBER)
#undef TRIPCONF_MEMBER
#undef TRIPCONF_NO_MEMBER

    static constexpr int kSize = 124;

    // The record with the defaults of a freshly created model.
    static TSettingsRecord Defaults();
    // Little-endian image of the record, exactly kSize bytes.
    std::array<uint8_t, kSize> ToBytes() const;
    static TSettingsRecord FromBytes(std::span<const uint8_t, kSize> bytes);

    bool operator==(const TSettingsRecord& other) const {
        return ToBytes() == other.ToBytes();
    }
};

// Offsets are the device's; the record must match them byte for byte.
static_assert(sizeof(TSettingsRecord) == TSettingsRecord::kSize);
static_assert(std::is_standard_layout_v<TSettingsRecord>);
#define TRIPCONF_AT_OFFSET(name, offset, type, ...)                                                \
    static_assert(offsetof(TSettingsRecord, name) == (offset), #name " is not at its offset");
#define TRIPCONF_NO_OFFSET(...)
TRIPCONF_SETTINGS_FIELDS(TRIPCONF_AT_OFFSET, TRIPCONF_NO_OFFSET, TRIPCONF_AT_OFFSET)
#undef TRIPCONF_AT_OFFSET
#undef TRIPCONF_NO_OFFSET

enum class FieldType { I8, U8, I16, U16, U32, F32, Bytes };

// One interpreted or reserved field of the record, by its device offset.
struct FieldInfo {
    const char* name;
    int offset;
    FieldType type;
    int count; // bytes for FieldType::Bytes, else 1
    bool reserved = false;
};

// The FieldType of a member's C type; uint8_t[N] is N bytes.
template <typename T> constexpr FieldType FieldTypeOf() {
    using enum FieldType;
    if constexpr (std::is_array_v<T>)
        return Bytes;
    else if constexpr (std::is_same_v<T, int8_t>)
        return I8;
    else if constexpr (std::is_same_v<T, uint8_t>)
        return U8;
    else if constexpr (std::is_same_v<T, int16_t>)
        return I16;
    else if constexpr (std::is_same_v<T, uint16_t>)
        return U16;
    else if constexpr (std::is_same_v<T, uint32_t>)
        return U32;
    else {
        static_assert(std::is_same_v<T, float>, "a record field is an integer, a float or bytes");
        return F32;
    }
}

// Every field of the record, in offset order, covering all 124 bytes.
std::span<const FieldInfo> RecordFields();
int FieldWidth(const FieldInfo& f);
bool IsReserved(const FieldInfo& f);
// Stored number of a scalar field, read from a little-endian record image.
double FieldValue(std::span<const uint8_t, TSettingsRecord::kSize> bytes, const FieldInfo& f);

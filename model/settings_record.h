#pragma once

#include <QByteArray>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The trip computer's settings record: the first 124 bytes of its parameter
// memory. Fields hold host-order values; ToBytes/FromBytes give the
// little-endian layout of the device and the files on any host.
struct TSettingsRecord {
    uint32_t Size;
    uint32_t Flags;
    float ExpenseCorr;
    float VelocityCorr;
    uint32_t TripTime;
    uint32_t TripPath;
    uint32_t TripFuel;
    uint32_t ResetTime;
    uint32_t ResetPath;
    uint32_t ResetFuel;
    uint32_t Reserved28;
    uint32_t Reserved2C;
    uint32_t TOPath;
    uint32_t TOTime;
    uint16_t UaccLowLimit;
    uint16_t UaccHighLimit;
    uint16_t Reserved3C;
    uint16_t AKPPOilTemperLimit;
    uint16_t Oil6L;
    uint16_t Lit6L;
    uint16_t Oil43L;
    uint16_t Lit43L;
    uint8_t Reserved48[8];
    uint8_t Reserved50[3];
    uint8_t Reserved53[2];
    uint8_t Reserved55;
    int8_t Intense0;
    int8_t Intense1;
    int8_t IntenseMeth;
    int8_t ToTOMeth;
    uint8_t Reserved5A[2];
    int16_t IntenseDayTime;
    int16_t IntenseNightTime;
    uint8_t Reserved60;
    int8_t Protocol;
    uint8_t LastProtocol;
    int8_t AccCorr;
    int8_t VentChan;
    int8_t RevolutionsLimit;
    int16_t VelocityLimit;
    int8_t LiqTemperLimit;
    int8_t TankLimit;
    int8_t VentTempLimit;
    int8_t TankContFull;
    int8_t TankMeth;
    uint8_t Reserved6D;
    uint8_t Reserved6E[5];
    int8_t LockLevel;
    uint8_t Reserved74;
    int8_t TempOilAKPPMeth;
    int8_t TimeCorr;
    int8_t AlarmBeep;
    uint8_t DigitColor1;
    uint8_t DigitBack1;
    uint8_t DigitColor2;
    uint8_t DigitBack2;

    static constexpr int kSize = 124;

    // The record with the defaults of a freshly created model.
    static TSettingsRecord Defaults();
    // Little-endian image of the record, exactly kSize bytes.
    std::array<uint8_t, kSize> ToBytes() const;
    static TSettingsRecord FromBytes(std::span<const uint8_t, kSize> bytes);

    bool operator==(const TSettingsRecord& other) const { return ToBytes() == other.ToBytes(); }
};

// Offsets are the device's; the record must match them byte for byte.
static_assert(sizeof(TSettingsRecord) == TSettingsRecord::kSize);
static_assert(offsetof(TSettingsRecord, Flags) == 0x04);
static_assert(offsetof(TSettingsRecord, ExpenseCorr) == 0x08);
static_assert(offsetof(TSettingsRecord, VelocityCorr) == 0x0C);
static_assert(offsetof(TSettingsRecord, TripTime) == 0x10);
static_assert(offsetof(TSettingsRecord, ResetFuel) == 0x24);
static_assert(offsetof(TSettingsRecord, TOPath) == 0x30);
static_assert(offsetof(TSettingsRecord, TOTime) == 0x34);
static_assert(offsetof(TSettingsRecord, UaccLowLimit) == 0x38);
static_assert(offsetof(TSettingsRecord, AKPPOilTemperLimit) == 0x3E);
static_assert(offsetof(TSettingsRecord, Oil6L) == 0x40);
static_assert(offsetof(TSettingsRecord, Lit43L) == 0x46);
static_assert(offsetof(TSettingsRecord, Reserved48) == 0x48);
static_assert(offsetof(TSettingsRecord, Reserved55) == 0x55);
static_assert(offsetof(TSettingsRecord, Intense0) == 0x56);
static_assert(offsetof(TSettingsRecord, ToTOMeth) == 0x59);
static_assert(offsetof(TSettingsRecord, IntenseDayTime) == 0x5C);
static_assert(offsetof(TSettingsRecord, IntenseNightTime) == 0x5E);
static_assert(offsetof(TSettingsRecord, Protocol) == 0x61);
static_assert(offsetof(TSettingsRecord, VelocityLimit) == 0x66);
static_assert(offsetof(TSettingsRecord, LiqTemperLimit) == 0x68);
static_assert(offsetof(TSettingsRecord, TankMeth) == 0x6C);
static_assert(offsetof(TSettingsRecord, LockLevel) == 0x73);
static_assert(offsetof(TSettingsRecord, TempOilAKPPMeth) == 0x75);
static_assert(offsetof(TSettingsRecord, AlarmBeep) == 0x77);
static_assert(offsetof(TSettingsRecord, DigitColor1) == 0x78);
static_assert(offsetof(TSettingsRecord, DigitBack2) == 0x7B);

enum class FieldType { I8, U8, I16, U16, U32, F32, Bytes };

// One interpreted or reserved field of the record, by its device offset.
struct FieldInfo {
    const char* name;
    int offset;
    FieldType type;
    int count; // bytes for FieldType::Bytes, else 1
};

// Every field of the record, in offset order, covering all 124 bytes.
std::span<const FieldInfo> RecordFields();
int FieldWidth(const FieldInfo& f);
bool IsReserved(const FieldInfo& f);
// Stored number of a scalar field, read from a little-endian record image.
double FieldValue(std::span<const uint8_t, TSettingsRecord::kSize> bytes, const FieldInfo& f);

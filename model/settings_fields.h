#pragma once

// Every field of the settings record, once, in the device's order: its name,
// device offset and C type, and how the editor and the command line show
// and store it. The record struct, its layout checks, RecordFields(),
// EditFields() and the shell completion's field names are all made from it.
//
//   FIELD(Name, offset, type, how it is shown)     an interpreted field
//   BIT(Name, Field, bit, how it is shown)         one bit of Field, named by the editor
//   RESERVED(Name, offset, type)                   bytes kept as they are
//
// "How it is shown" is an EditField made by the helpers of field_edit.cpp;
// only that file reads it.
#define TRIPCONF_SETTINGS_FIELDS(FIELD, BIT, RESERVED)                                             \
    FIELD(Size, 0x00, uint32_t, Plain())                                                           \
    FIELD(Flags, 0x04, uint32_t, Plain())                                                          \
    BIT(LockType, Flags, 4, Listed("rgLockType", LockType))                                        \
    BIT(AlarmVelType, Flags, 3, Listed("rgAlarmVelType", AlarmVelType))                            \
    FIELD(ExpenseCorr, 0x08, float, Percent("seExpenseCorr", -99.0, 999.9))                        \
    FIELD(VelocityCorr, 0x0C, float, Percent("seVelocityCorr", -99.0, 999.9))                      \
    FIELD(TripTime, 0x10, uint32_t, Shown(HoursMinutes, Plain(Accumulator, "sgTripSum")))          \
    FIELD(TripPath, 0x14, uint32_t, Thousandths(Plain(Accumulator, "sgTripSum", "км")))            \
    FIELD(TripFuel, 0x18, uint32_t, Thousandths(Plain(Accumulator, "sgTripSum", "л")))             \
    FIELD(ResetTime, 0x1C, uint32_t, Shown(HoursMinutes, Plain(Accumulator, "sgResetSum")))        \
    FIELD(ResetPath, 0x20, uint32_t, Thousandths(Plain(Accumulator, "sgResetSum", "км")))          \
    FIELD(ResetFuel, 0x24, uint32_t, Thousandths(Plain(Accumulator, "sgResetSum", "л")))           \
    RESERVED(Reserved28, 0x28, uint32_t)                                                           \
    RESERVED(Reserved2C, 0x2C, uint32_t)                                                           \
    FIELD(TOPath, 0x30, uint32_t,                                                                  \
          Shown(RoundedOnce, Spin("seTOPath", "тыс.км", 0, 99.9, 1, 1000000.0)))                   \
    FIELD(TOTime, 0x34, uint32_t, Shown(WholeUnits, Spin("seTOTime", "ч", 0, 9999, 0, 3600.0)))    \
    FIELD(UaccLowLimit, 0x38, uint16_t, Spin("seUaccLowLimit", "В", 9.0, 13.9, 1, 10, 2))          \
    FIELD(UaccHighLimit, 0x3A, uint16_t, Spin("seUaccHighLimit", "В", 14.0, 16.0, 1, 10, 2))       \
    RESERVED(Reserved3C, 0x3C, uint16_t)                                                           \
    FIELD(AKPPOilTemperLimit, 0x3E, uint16_t, Spin("seAKPPOilTemperLimit", "С", 80, 150))          \
    FIELD(Oil6L, 0x40, uint16_t, Spin("seOil6L", "у.е.", 0, 2000))                                 \
    FIELD(Lit6L, 0x42, uint16_t, UpToTankFull(Spin("seLit6L", "л", 0, 0)))                         \
    FIELD(Oil43L, 0x44, uint16_t, Spin("seOil43L", "у.е.", 0, 2000))                               \
    FIELD(Lit43L, 0x46, uint16_t, UpToTankFull(Spin("seLit43L", "л", 0, 0)))                       \
    RESERVED(Reserved48, 0x48, uint8_t[8])                                                         \
    RESERVED(Reserved50, 0x50, uint8_t[3])                                                         \
    RESERVED(Reserved53, 0x53, uint8_t[2])                                                         \
    RESERVED(Reserved55, 0x55, uint8_t)                                                            \
    FIELD(Intense0, 0x56, int8_t, Spin("seIntense0", "", 0, 4))                                    \
    FIELD(Intense1, 0x57, int8_t, Spin("seIntense1", "", 0, 4))                                    \
    FIELD(IntenseMeth, 0x58, int8_t, Listed("rgIntenseMeth", IntenseMeth))                         \
    FIELD(ToTOMeth, 0x59, int8_t, OnLeaving(Listed("rgToTOMeth", ToTOMeth)))                       \
    RESERVED(Reserved5A, 0x5A, uint8_t[2])                                                         \
    FIELD(IntenseDayTime, 0x5C, int16_t, Plain(Time, "meIntenseDayTime"))                          \
    FIELD(IntenseNightTime, 0x5E, int16_t, Plain(Time, "meIntenseNightTime"))                      \
    RESERVED(Reserved60, 0x60, uint8_t)                                                            \
    FIELD(Protocol, 0x61, int8_t, Plain(Protocol, "cbProtocol"))                                   \
    FIELD(LastProtocol, 0x62, uint8_t, ProtocolNumber(Plain()))                                    \
    FIELD(AccCorr, 0x63, int8_t, Spin("seAccCorr", "В", -0.7, 0.7, 1, 10, 0.1))                    \
    FIELD(VentChan, 0x64, int8_t, ByProtocol(Fans, Listed("rgVentChan", VentChan)))                \
    FIELD(RevolutionsLimit, 0x65, int8_t, Spin("seRevolutionsLimit", "об/мин * 100", 25, 80))      \
    FIELD(VelocityLimit, 0x66, int16_t,                                                            \
          SteppedOnly(Spin("seVelocityLimit", "км/час", 20, 200, 0, 1, 2)))                        \
    FIELD(LiqTemperLimit, 0x68, int8_t, Spin("seLiqTemperLimit", "С", 80, 120))                    \
    FIELD(TankLimit, 0x69, int8_t, UpToTankFull(Spin("seTankLimit", "л", 0, 0, 0, 1, 2)))          \
    FIELD(VentTempLimit, 0x6A, int8_t, Spin("seVentTempLimit", "С", 80, 115))                      \
    FIELD(TankContFull, 0x6B, int8_t, Spin("seTankContFull", "л", 16, 99))                         \
    FIELD(TankMeth, 0x6C, int8_t, ByProtocol(FuelMethods, Listed("cbTankMeth", TankMeth)))         \
    RESERVED(Reserved6D, 0x6D, uint8_t)                                                            \
    RESERVED(Reserved6E, 0x6E, uint8_t[5])                                                         \
    FIELD(LockLevel, 0x73, int8_t, OnlyWithBit(4, Listed("rgLockLevel", LockLevel)))               \
    RESERVED(Reserved74, 0x74, uint8_t)                                                            \
    FIELD(TempOilAKPPMeth, 0x75, int8_t,                                                           \
          ByProtocol(GearboxOil, Listed("cbTempOilAKPPMeth", TempOilAKPPMeth)))                    \
    FIELD(TimeCorr, 0x76, int8_t, Spin("seTimeCorr", "секунд в сутки", -30, 30))                   \
    FIELD(AlarmBeep, 0x77, int8_t, Listed("rgAlarmBeep", AlarmBeep))                               \
    FIELD(DigitColor1, 0x78, uint8_t, ColourRow(0))                                                \
    FIELD(DigitBack1, 0x79, uint8_t, ColourRow(1))                                                 \
    FIELD(DigitColor2, 0x7A, uint8_t, ColourRow(2))                                                \
    FIELD(DigitBack2, 0x7B, uint8_t, ColourRow(3))

#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// One engine protocol of the catalogue. The settings record stores a
// protocol as its position in the catalogue, not as its code.
class TProtBase {
public:
    TProtBase(const QString& name, uint8_t code) : Name(name), Code(code) {}
    QString Name;
    uint8_t Code;
    bool FanChannelChoice = false;
    bool EcuFuelLevel = false;
};

struct FanChannels {
    int first; // also the channel preset when the protocol is applied
    int last;
};

inline constexpr int kProtocolCount = 19;

// Items of "1", "2", "1+2", "3", "4" that may be chosen for the protocol.
FanChannels FanChannelRange(const TProtBase& p);
bool HasGearboxOilSource(const TProtBase& p);
// "ДУТ", "Расчетный", and "ДУТ ЭБУ" when the control unit supplies the level.
QStringList FuelLevelMethods(const TProtBase& p);

#include <memory>
#include <vector>

using TProtocolList = std::vector<std::unique_ptr<TProtBase>>;
// The 19 entries, fresh, in catalogue order.
TProtocolList CreateProtocolCatalogue();

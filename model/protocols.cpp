#include "model/protocols.h"

FanChannels FanChannelRange(const TProtBase& p) {
    switch (p.Code) {
    case 0:
        return {0, 3};
    case 16:
        return {0, 2};
    case 20:
        return {3, 4};
    default:
        return {0, 1};
    }
}

bool HasGearboxOilSource(const TProtBase& p) {
    return p.Code == 16 || p.Code == 18 || p.Code == 19 || p.Code == 20;
}

QStringList FuelLevelMethods(const TProtBase& p) {
    QStringList items{QStringLiteral("ДУТ"), QStringLiteral("Расчетный")};
    if (p.EcuFuelLevel)
        items << QStringLiteral("ДУТ ЭБУ");
    return items;
}

namespace {
struct Row {
    const char* name;
    uint8_t code;
    bool fan;
    bool ecuFuel;
};
// Look-alike letters matter: "M74CAN", "M74.8/9" and the "M7.0" of "БОШ M7.0"
// are Latin, "М74" and "М12" begin with a Cyrillic letter.
constexpr Row kCatalogue[kProtocolCount] = {
    {"M74CAN", 16, true, true},  {"M74.8/9", 20, true, true},   {"IVECO", 12, false, false},
    {"CAN", 11, false, true},    {"J1939", 15, false, true},    {"МИК.10.3", 6, true, true},
    {"ЯНВАРЬ", 0, true, false},  {"МИК.7.6", 5, false, false},  {"МИК.11.2", 8, false, false},
    {"М74", 3, true, false},     {"БОШ7.9.7", 2, false, true},  {"МИК.11.3", 9, true, false},
    {"М12", 10, true, true},     {"UAZ 1797", 17, true, false}, {"БОШ M7.0", 1, false, false},
    {"OBD2Q", 13, false, false}, {"OBD2P", 14, false, false},   {"74L", 18, true, true},
    {"86L", 19, true, true},
};
} // namespace

TProtocolList CreateProtocolCatalogue() {
    TProtocolList list;
    for (const Row& r : kCatalogue) {
        auto p = std::make_unique<TProtBase>(QString::fromUtf8(r.name), r.code);
        p->FanChannelChoice = r.fan;
        p->EcuFuelLevel = r.ecuFuel;
        list.push_back(std::move(p));
    }
    return list;
}

#include "model/parameters.h"

TMeasParBase::TMeasParBase(uint8_t index, const char* caption, int32_t value, int32_t width,
                           int32_t decimals)
    : Index(index), SampleValue(value), Width(width), Decimals(decimals),
      Caption(QString::fromUtf8(caption)) {
    // Formed by hand so the point stays "." in every locale.
    QString text =
        Decimals == 0 ? QString::number(SampleValue) : QString::number(SampleValue / 10.0, 'f', 1);
    if (text.size() < Width)
        text.prepend(QString(Width - text.size(), QLatin1Char(' ')));
    SampleText = text;
}

TTime::TTime() {
    Index = 0;
    Caption = QStringLiteral("ВРЕМЯ");
    SampleText = QStringLiteral("15:30");
}

TRevolutions::TRevolutions() : TMeasParBase(1, "ОБОРОТЫ/МИН", 2000, 4, 0) {}
TAccVoltage::TAccVoltage() : TMeasParBase(2, "НАПР.БОРТСЕТИ, В", 140, 4, 1) {}
TVelocity::TVelocity() : TMeasParBase(3, "СКОРОСТЬ,КМ/ЧАС", 60, 3, 0) {}
TThrottle::TThrottle() : TMeasParBase(4, "ДРОССЕЛЬ, %", 20, 3, 0) {}
TTemperLiq::TTemperLiq() : TMeasParBase(5, "ТЕМПЕРАТ. ОЖ, С", 90, 3, 0) {}
TMomentaryExpense::TMomentaryExpense() : TMeasParBase(6, "РАСХОД, Л/100КМ", 100, 5, 1) {}
TOil::TOil() : TMeasParBase(7, "ТОПЛИВО, Л", 20, 3, 0) {}
TPrognoz::TPrognoz() : TMeasParBase(8, "ПРОГНОЗ ПРОБ.КМ", 300, 3, 0) {}
TTemperOilAKPP::TTemperOilAKPP() : TMeasParBase(9, "ТЕМП.МАСЛА КПП,С", 90, 3, 0) {}
TMAF::TMAF() : TMeasParBase(10, "РАСХ.ВОЗД, КГ/Ч", 500, 5, 1) {}
TUOZ::TUOZ() : TMeasParBase(11, "УОЗ, ГРАД", 100, 5, 1) {}

TParameterList CreateParameterCatalogue() {
    TParameterList list;
    list.push_back(std::make_unique<TTime>());
    list.push_back(std::make_unique<TRevolutions>());
    list.push_back(std::make_unique<TAccVoltage>());
    list.push_back(std::make_unique<TTemperLiq>());
    list.push_back(std::make_unique<TVelocity>());
    list.push_back(std::make_unique<TThrottle>());
    list.push_back(std::make_unique<TMomentaryExpense>());
    list.push_back(std::make_unique<TOil>());
    list.push_back(std::make_unique<TPrognoz>());
    list.push_back(std::make_unique<TTemperOilAKPP>());
    list.push_back(std::make_unique<TMAF>());
    list.push_back(std::make_unique<TUOZ>());
    return list;
}

const TMeasParBase* FindParameter(const TParameterList& list, uint8_t index) {
    for (const auto& p : list)
        if (p->Index == index)
            return p.get();
    return nullptr;
}

#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// A quantity the trip computer displays, with a sample value for the preview.
class TMeasParBase {
public:
    virtual ~TMeasParBase() = default;

    uint8_t Index = 0;
    int32_t SampleValue = 0;
    int32_t Width = 3;
    int32_t Decimals = 0;
    QString Caption;
    QString SampleText;

protected:
    TMeasParBase() = default;
    // Sets the row's fields and forms SampleText: right-aligned to Width,
    // one decimal with "." whatever the locale when Decimals is 1.
    TMeasParBase(uint8_t index, const char* caption, int32_t value, int32_t width,
                 int32_t decimals);
};

class TTime : public TMeasParBase {
public:
    TTime();
};

#define TRIPCONF_PARAMETER(Class)                                                                  \
    class Class : public TMeasParBase {                                                            \
    public:                                                                                        \
        Class();                                                                                   \
    };
TRIPCONF_PARAMETER(TRevolutions)
TRIPCONF_PARAMETER(TAccVoltage)
TRIPCONF_PARAMETER(TVelocity)
TRIPCONF_PARAMETER(TThrottle)
TRIPCONF_PARAMETER(TTemperLiq)
TRIPCONF_PARAMETER(TMomentaryExpense)
TRIPCONF_PARAMETER(TOil)
TRIPCONF_PARAMETER(TPrognoz)
TRIPCONF_PARAMETER(TTemperOilAKPP)
TRIPCONF_PARAMETER(TMAF)
TRIPCONF_PARAMETER(TUOZ)
#undef TRIPCONF_PARAMETER

// The twelve display parameters, in creation order.
using TParameterList = std::vector<std::unique_ptr<TMeasParBase>>;
TParameterList CreateParameterCatalogue();
// The parameter with that Index, or null.
const TMeasParBase* FindParameter(const TParameterList& list, uint8_t index);

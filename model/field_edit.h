#pragma once

#include "model/protocols.h"
#include "model/settings_record.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <span>
#include <vector>

// How the settings editor shows and stores each field of the record: its
// control, conversion, limits and choices. The editor's controls and the
// command line's show/get/set take them from this one table, so the two
// can never disagree.

enum class EditKind {
    Number,      // spin edit; stored = shown × scale, rounded
    Correction,  // spin edit of a correction factor, as a percentage
    Choice,      // radio group or list; item i stores i
    Protocol,    // the protocol list, by name; item i stores i
    Time,        // "hh:mm" masked edit, stored as minutes
    Flag,        // radio group storing one bit of Flags
    Colour,      // a row of the colour grid: palette index 0..15
    Accumulator, // shown in the averages grids; the editor only resets them
    Stored,      // not in the editor: changed only as a stored number
};

// How a choice's items follow the record's protocol.
enum class ProtocolItems {
    None,
    Fans,        // the protocol's fan channels; the editor sets the first when it opens
    FuelMethods, // the fuel-level methods the protocol offers
    GearboxOil,  // offered only when the protocol has a gearbox oil temperature
};

// How a number's stored units become the shown ones.
enum class ShownAs {
    Divided,      // stored / scale
    RoundedOnce,  // stored / scale at the decimals in one rounded division, so a half stays exact
    WholeUnits,   // stored / scale, the rest of a unit dropped
    HoursMinutes, // seconds as hours (not limited to 24), ":", two-digit minutes
};

struct EditField {
    const char* name;    // the record's field; LockType and AlarmVelType are bits of Flags
    const char* control; // the editor control's objectName; "" for none
    EditKind kind;
    const char* unit = "";
    int decimals = 0;
    double scale = 1; // stored units per shown unit
    double min = 0;   // the editor's limits in shown units; both 0: none
    double max = 0;
    double step = 1;      // the spin buttons' increment
    bool typing = true;   // false: the value is only stepped, from min
    bool tankMax = false; // the maximum is the record's TankContFull
    QStringList (*items)() = nullptr;
    int detail = -1;                // Flag: the bit of Flags; Colour: the row of the colour grid
    const char* storedIn = nullptr; // the record field behind a pseudo-field
    ShownAs shownAs = ShownAs::Divided;
    ProtocolItems byProtocol = ProtocolItems::None;
    int onlyWithBit = -1;        // offered only while this bit of Flags is set
    bool protocolNumber = false; // holds the protocol's number, stored whenever one is applied
    bool onLeaving = false;      // a radio group that stores when the focus leaves it, not on click
};

// Every field the editor or the command line names, in the record's order,
// LockType and AlarmVelType in the place of Flags' bits.
std::span<const EditField> EditFields();
// The field of that name (exact), or null.
const EditField* FindEditField(const QString& name);
// The names nearest to a mistyped one (case and edit distance), best first.
QStringList ClosestFieldNames(const QString& name, int count = 3);
// The record field a name stores into: its own, or Flags for a bit.
const FieldInfo& RecordFieldOf(const EditField& f);
// The bits of a record field that the editor names, by bit; none for most.
std::vector<const EditField*> PartsOf(const FieldInfo& f);
// The editor's field for a record field, or null for a reserved one.
const EditField* EditFieldOf(const FieldInfo& f);

// A Flag field's bit of its record field, and setting it (the other bits stay).
bool BitOf(const TSettingsRecord& r, const EditField& f);
void SetBit(TSettingsRecord& r, const EditField& f, bool on);

struct EditLimits {
    double min = 0;
    double max = 0;
    bool none() const { return min == 0 && max == 0; }
    // No value fits: a tank's litres below a negative capacity (an erased record's -1).
    bool crossed() const { return max < min; }
};
// The limits the editor's control has for r (a tank's litres end at its
// capacity, which may lie below 0).
EditLimits LimitsOf(const EditField& f, const TSettingsRecord& r);

// The number a spin edit shows for the stored value, before its limits.
double ShownNumber(const EditField& f, const TSettingsRecord& r);
// The stored number of a record field.
double StoredNumber(const TSettingsRecord& r, const FieldInfo& f);
// Stores v, rounded half to even, into a scalar record field; raises
// "Range check error" when it does not fit the field's type.
void StoreNumber(TSettingsRecord& r, const FieldInfo& f, double v);

// What the editor shows for a field of r, with the point given. `outside`
// says, when the control cannot show the stored value (beyond its limits,
// a choice without that item), what is stored and what the control allows;
// it always begins with "stored ". `resets` says what the editor stores in
// the field's place as soon as it opens (the fan channel and LastProtocol
// follow the protocol), so the window will not keep the file's value.
struct EditorView {
    QString text;
    QString unit;
    QString outside;
    QString resets;
    double stored = 0;
    QString storedText; // the stored number as `outside` spells it
};
EditorView EditorShows(const EditField& f, const TSettingsRecord& r,
                       const QString& point = QStringLiteral("."));

// What the control allows for r, as the messages name it: "-0.7..0.7 В",
// "one of: Физич., Вирт.".
QString AllowedText(const EditField& f, const TSettingsRecord& r, const TProtocolList& protocols);

// Stores into r what a user types into the field's control, as the editor
// stores it. Raises TripError naming the field and what it allows when the
// editor would not take the value: not a number, more decimals than the
// control shows, beyond the limits, an item the protocol does not offer, a
// control the editor does not have. Choosing
// a protocol applies it as the editor does (LastProtocol, fan channel).
void EditorStore(TSettingsRecord& r, const EditField& f, const QString& typed,
                 const TProtocolList& protocols);
// What choosing protocol p (number `number`) stores besides Protocol: the
// protocol's number and its first fan channel.
void ApplyProtocolFields(TSettingsRecord& r, const TProtBase& p, int number);
// Stores a stored number as it is (integer fields: an integer; factors: a
// real number, nan and inf included); raises TripError naming the field and
// its type's range, also for a finite number a factor would hold as an
// infinity, or a non-zero one it would hold as 0.
void StoreRaw(TSettingsRecord& r, const EditField& f, const QString& number);

struct FieldText {
    QString text;
    QString unit;    // empty when the number has none
    QString outside; // as EditorView's
    QString resets;  // as EditorView's
};
// The text the editor shows for a field of r, with its unit, using `point`
// as the decimal point; none for reserved fields. Flags shows its two bits.
std::optional<FieldText> ShownFieldText(const TSettingsRecord& r, const FieldInfo& f,
                                        const QString& point = QStringLiteral("."));

#pragma once

#include "model/field_text.h"
#include "model/settings_record.h"

#include <QByteArray>
#include <QString>
#include <span>
#include <vector>

// Where two settings records or images differ, field by field: the
// command-line diff and the verified write both report through this.

using RecordBytes = std::span<const uint8_t, TSettingsRecord::kSize>;

struct FieldDifference {
    const FieldInfo* field;
    // Interpreted fields: the editor's texts and the stored numbers. Reserved
    // fields: the bytes in hex as text, numbers 0, no unit.
    QString shownA, shownB, unit;
    double rawA = 0, rawB = 0;
    // The shown texts alone do not tell the stored values apart: they look
    // alike (seconds shown as hours), or a side lies beyond what the
    // editor's control can show. The stored numbers then follow them.
    bool showStored = false;
    // What the editor stores in a side's place when it opens (FieldText::resets).
    QString resetsA, resetsB;
};

// A stored number as the reports give it.
QString StoredNumberText(double v);
// One side's shown text with its unit, and its stored number where it matters.
QString SideText(const FieldDifference& d, bool sideA);

// Fields whose bytes differ within the first `length` bytes, in offset order.
// A field counts when any of its bytes there differs, even when the texts
// shown for the two values happen to be the same.
std::vector<FieldDifference> CompareRecords(RecordBytes a, RecordBytes b,
                                            int length = TSettingsRecord::kSize);

// "Size", "TOTime", ... for interpreted fields; "reserved bytes 0x48..0x4F"
// for the others.
QString FieldLabel(const FieldInfo& f);
// The field holding a record offset (0..123).
const FieldInfo& FieldAt(int offset);

// The uninterpreted part of two images, bytes 124 on. A byte that only one
// image has counts as differing.
struct ImageTailDifference {
    int count = 0;  // differing bytes
    int first = -1; // offset of the first, -1 when none
    qsizetype sizeA = 0, sizeB = 0;
    int end = 0; // one past the last offset compared
};
ImageTailDifference CompareImageTails(const QByteArray& a, const QByteArray& b);

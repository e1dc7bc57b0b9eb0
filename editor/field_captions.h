#pragma once

#include <QString>

// The caption the settings editor shows beside a field's control ("Скорость, %"
// for VelocityCorr): its label, or the title of the group that holds it.
// Empty for fields the editor has no control for.
QString EditorCaption(const QString& fieldName);

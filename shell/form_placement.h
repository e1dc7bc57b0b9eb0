#pragma once

#include <QString>

class QWidget;
class TIniFile;

// Window state and placement in an INI section: "State" (0 normal,
// 1 minimized, 2 maximized), "Left", "Top", "Width", "Height". A maximized
// window keeps its place; a fixed-size window never takes a stored size.
void LoadFormPlacement(const TIniFile& ini, const QString& section, QWidget* form);
void SaveFormPlacement(TIniFile& ini, const QString& section, const QWidget* form);

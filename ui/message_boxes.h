#pragma once

#include <QString>

inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

void ShowError(const QString& text);
void ShowInfo(const QString& text);
// 6 for Yes, 7 for No; only 6 counts as consent.
int AskYesNo(const QString& text);

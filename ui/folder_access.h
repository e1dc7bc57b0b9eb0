#pragma once

#include <QString>

// Whether this user may write in the folder (as the system's access check
// says for the real user).
bool MayWriteFolder(const QString& folder);

#pragma once

#include <QString>

// True when the settings can really be saved as `name`: an existing regular
// file the user may open for writing (the save writes it in place when the
// folder is closed to the user), or a new file in a folder the user may write.
bool CanSaveAs(const QString& name);

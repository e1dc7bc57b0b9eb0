#pragma once

#include <QString>
#include <optional>

// The user's own folders, as the system tells them.

// A folder (not a link to one) that this user owns.
bool IsOwnFolder(const QString& dir);
// The user's home folder from the user database; nullopt when the user is not there.
std::optional<QString> HomeFolderOfUser();
// Closes the folder to everyone but its owner.
void MakeFolderPrivate(const QString& dir);

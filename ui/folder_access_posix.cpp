#include "ui/folder_access.h"

#include <QFile>

#include <unistd.h>

bool MayWriteFolder(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

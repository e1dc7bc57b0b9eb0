#pragma once

#include <QLoggingCategory>

// The link's debug log, off by default:
// QT_LOGGING_RULES="tripconf.link.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcLink)

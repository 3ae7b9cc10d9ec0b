#pragma once

#include <QLoggingCategory>

namespace tarsel {

// The library's one category, "orvex.http": warnings and errors on by default, per-request
// debug lines off unless QT_LOGGING_RULES="orvex.http.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcHttp)

} // namespace tarsel

#include "httplogging.h"

namespace tarsel {

Q_LOGGING_CATEGORY(lcHttp, "orvex.http", QtInfoMsg)

} // namespace tarsel

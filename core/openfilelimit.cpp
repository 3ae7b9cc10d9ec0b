#include "openfilelimit.h"

#include "core/logging.h"

#include <sys/resource.h>

unsigned long raiseOpenFileLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        const rlim_t before = limit.rlim_cur;
        limit.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            qCWarning(lcCore) << "Cannot raise the limit of open files above" << before;
            limit.rlim_cur = before;
        }
    }
    return static_cast<unsigned long>(limit.rlim_cur);
}

#include "filesizelimit.h"

#include <csignal>

namespace testsupport {

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    if (::getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
        return;
    rlimit limited = m_saved;
    limited.rlim_cur = rlim_t(bytes);
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    m_handlerSet = true;
    m_set = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_set)
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
    if (m_handlerSet)
        std::signal(SIGXFSZ, m_previousHandler);
}

} // namespace testsupport

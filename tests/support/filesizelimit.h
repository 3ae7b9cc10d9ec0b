#pragma once

#include <QtGlobal>

#include <sys/resource.h>

namespace testsupport {

// While it exists, no file of this process can grow beyond the given size: writes past it fail
// as on a full disk (SIGXFSZ is ignored meanwhile, so they fail instead of killing the process).
class FileSizeLimit
{
    Q_DISABLE_COPY(FileSizeLimit)

public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();

    bool isSet() const { return m_set; }

private:
    rlimit m_saved {};
    void (*m_previousHandler)(int) = nullptr;
    bool m_handlerSet = false;
    bool m_set = false;
};

} // namespace testsupport

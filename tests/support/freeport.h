#pragma once

#include <QtGlobal>

namespace testsupport {

// A port that was free a moment ago, for settings that need a number before anything listens
// (discovery and web ports of a window under test); 0 when none could be found.
quint16 freeUdpPort();
quint16 freeTcpPort();

} // namespace testsupport

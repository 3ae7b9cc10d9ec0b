#pragma once

// Objects pass between the listener's thread and a handler's thread through Qt's event queue and
// QThread::wait(). Qt is not built with ThreadSanitizer, so the synchronisation inside them is
// invisible to it; these marks state the hand-overs the server relies on. No-ops in other builds.
#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define TARSEL_HAND_OVER(object) __tsan_release(static_cast<void *>(object))
#define TARSEL_TAKE_OVER(object) __tsan_acquire(static_cast<void *>(object))
#else
#define TARSEL_HAND_OVER(object) static_cast<void>(object)
#define TARSEL_TAKE_OVER(object) static_cast<void>(object)
#endif

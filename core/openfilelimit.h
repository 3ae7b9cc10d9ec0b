#pragma once

// Raises the soft limit of open descriptors of this process to its hard limit, so that the
// sessions and files of a busy run never meet the low default. Returns the soft limit now in
// force (0 when it cannot be read).
unsigned long raiseOpenFileLimit();

#include "filebodydevice.h"

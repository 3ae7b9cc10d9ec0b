#include "logging.h"

Q_LOGGING_CATEGORY(lcCore, "orvex.core", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiscovery, "orvex.discovery", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTransfer, "orvex.transfer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcWeb, "orvex.web", QtInfoMsg)
Q_LOGGING_CATEGORY(lcGui, "orvex.gui", QtInfoMsg)

#pragma once

#include <QString>

// What the web windows say when the web server could not listen: the port it was asked for
// and, where the system tells, the program that holds it.
QString webPortTakenMessage(quint16 port);

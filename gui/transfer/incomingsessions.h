#pragma once

#include <functional>

class Server;

// From now on every session the server accepts gets a progress window of its own, which owns
// it; the download folder opens when a session has saved its files, and a desktop notice says
// so. An offer that arrives while the main window is not shown (mainWindowShown says false)
// also gets a notice; without mainWindowShown, none does.
void showIncomingSessions(Server *server, const std::function<bool()> &mainWindowShown = {});

#pragma once

class Server;

// From now on every session the server accepts gets a progress window of its own, which owns
// it; the download folder opens when a session has saved its files.
void showIncomingSessions(Server *server);

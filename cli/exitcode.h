#pragma once

// The exit statuses of the headless commands; "orvex --help" and the README list them.
namespace exitcode {

constexpr int success = 0;
// A transfer or a server failed: connection, file, port, or the session broke off.
constexpr int failure = 1;
// The command line is wrong: unknown command or option, missing or bad value.
constexpr int usage = 2;
// The receiving side declined the offer (send), or the offer was declined here (receive --once).
constexpr int refused = 3;
// No device of that name or address answered in time (send --to), or none at all (devices).
constexpr int notFound = 4;
// Nobody answered the offer in time at the receiving side, which refused it (send), or nobody
// answered it here (receive --once).
constexpr int unanswered = 5;
// Ended by a signal during a transfer: 128 plus its number (130 for Ctrl+C).
constexpr int signalBase = 128;

} // namespace exitcode

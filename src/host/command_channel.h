// One server per program directory, and the hand-over of a second start's
// command line to it (the Linux host's stand-in for the named mutex, the
// server window and WM_COPYDATA).
//
// Files in the directory (the lock files are opened under the rule of
// base/trusted_path.h and have mode LOCK_FILE_MODE):
//   nimbo.lock  start-up lock (flock): concurrent starts take turns while one
//               decides whether it is the server or a second start;
//   nimbo.run   run lock (flock), held by the server until its process ends,
//               so a server killed by a signal never blocks the next start;
//   nimbo.ctl   the command socket (AF_UNIX, stream). A left-over file from a
//               killed server is removed by the next server.
// Wire form, host byte order (both ends are on the same machine): the
// sender writes the 32-bit tag, the 32-bit length (text length + 1) and the
// zero-terminated text; the server answers with one 32-bit result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t COMMAND_TEXT_LIMIT = 65536;

constexpr unsigned LOCK_FILE_MODE = 0600;

// Blocks until this process holds the start-up lock of `directory`. Without
// `create` a missing lock file is not made: false with errno ENOENT.
bool AcquireStartupLock(const std::string& directory, bool create = true);
void ReleaseStartupLock();

// Tries to take the run lock without waiting. True: this process is now the
// server of the directory (the lock stays until the process exits).
bool ClaimServerRole(const std::string& directory);

// Whether a server holds the run lock of `directory`; creates no file. An
// existing lock file that cannot be opened counts as held.
bool RunLockHeld(const std::string& directory);

// Sends the command text to the running server and waits for its answer
// (0, 1 or 2); -1 when no server could be reached or it did not answer.
int SendCommandToServer(const std::string& directory, uint32_t tag, const std::string& text);

// The server's end: removes a stale socket file, binds and listens.
// Returns the listening descriptor or -1 (logged).
int OpenCommandListener(const std::string& directory);

// A connection's whole message must arrive within this time.
constexpr uint32_t COMMAND_READ_LIMIT_MS = 2000;

// Accepts the connections waiting on the listener and reads what has arrived
// on every connection whose message is still incomplete, without ever
// waiting, so that the main loop's housekeeping never waits for a command
// client. True with the connection in *connection when a whole message is
// there (one per call; call again for more); the caller answers it with
// AnswerCommand. A connection whose header is bad, whose message ends early
// or is not whole within COMMAND_READ_LIMIT_MS is closed without an answer
// and logged. The main loop calls it when the listener or a pending
// connection is readable, and on each timer tick.
bool ReceiveCommand(int listener, int* connection, uint32_t* tag, std::string* text);
// The connections accepted whose message is not whole yet, for the main
// loop to poll beside the listener.
std::vector<int> PendingCommandConnections();
// Sends the answer without waiting (four bytes into a socket that has sent
// nothing yet) and closes the connection.
void AnswerCommand(int connection, int result);

// Closes the listener and the pending connections and removes the socket file.
void CloseCommandListener(int listener, const std::string& directory);

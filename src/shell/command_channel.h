// One server per program directory, and the hand-over of a second start's
// command line to it (the Linux host's stand-in for the named mutex, the
// server window and WM_COPYDATA).
//
// Files in the directory:
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

constexpr uint32_t COMMAND_TEXT_LIMIT = 65536;

// Blocks until this process holds the start-up lock of `directory`.
bool AcquireStartupLock(const std::string& directory);
void ReleaseStartupLock();

// Tries to take the run lock without waiting. True: this process is now the
// server of the directory (the lock stays until the process exits).
bool ClaimServerRole(const std::string& directory);

// Sends the command text to the running server and waits for its answer
// (0, 1 or 2); -1 when no server could be reached or it did not answer.
int SendCommandToServer(const std::string& directory, uint32_t tag, const std::string& text);

// The server's end: removes a stale socket file, binds and listens.
// Returns the listening descriptor or -1 (logged).
int OpenCommandListener(const std::string& directory);

// Accepts one pending connection and reads its message (bounded in size and
// time). True with the connection in *connection when a whole message came;
// the caller answers it with AnswerCommand.
bool ReceiveCommand(int listener, int* connection, uint32_t* tag, std::string* text);
void AnswerCommand(int connection, int result);

// Closes the listener and removes the socket file.
void CloseCommandListener(int listener, const std::string& directory);

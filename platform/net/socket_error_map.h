#pragma once

// The socket error number for an errno value of a socket call.
int SocketErrorFromErrno(int error);

// The calling thread's last socket error, as CAsyncSocket::GetLastError
// reports it.
void SetLastSocketError(int error);
int LastSocketError();

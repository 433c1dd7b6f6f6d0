// The requests hvp-run sends a launcher over their socket, and the reports
// back: one message each, the descriptors of a request beside it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "inputs.hpp"

namespace tarvorun {

// What a request holds: its kind, then the input's name, source and path,
// each ended by a NUL; the descriptors come beside it.
enum ERequestKind : char {
    kRequestFile = 'F',
    kRequestMemory = 'M',
    kRequestProbe = 'P',
    kRequestLive = 'V'
};

// One request as the launcher holds it.
struct TRequest {
    char fKind = kRequestProbe;
    TInventoryInput fInput;
    int fOutputFd = -1;
    int fMemoryFd = -1;
};

// Closes the request's descriptors.
void CloseRequest(TRequest& request);

// Sends one message with up to two descriptors.
bool SendMessage(int socket, const std::string& payload, const int* fds, std::size_t count);

// Receives one request; 1 when one came, 0 when the socket was closed, -1
// when none is there yet (only when not `wait`).
int ReceiveRequest(int socket, bool wait, TRequest& request);

}  // namespace tarvorun

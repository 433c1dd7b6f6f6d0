// The messages between hvp-run and a launcher: requests, each with the
// write end of its worker's pipe and perhaps a memory file, and the reports.
#include "launcher_requests.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tarvorun {

namespace {

// The size of the request waiting on `socket`, without taking it (nor its
// descriptors); -1 with errno when none is there or the socket failed, 0
// when it was closed.
ssize_t PeekRequestSize(int socket, bool wait)
{
    char byte;
    ssize_t size;
    do
        size = recv(socket, &byte, 1, MSG_PEEK | MSG_TRUNC | (wait ? 0 : MSG_DONTWAIT));
    while (size < 0 && errno == EINTR);
    return size;
}

}  // namespace

void CloseRequest(TRequest& request)
{
    for (int* fd : {&request.fOutputFd, &request.fMemoryFd})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
}

bool SendMessage(int socket, const std::string& payload, const int* fds, std::size_t count)
{
    iovec part{const_cast<char*>(payload.data()), payload.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    if (count > 0) {
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(count * sizeof(int));
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(count * sizeof(int));
        std::memcpy(CMSG_DATA(header), fds, count * sizeof(int));
    }
    for (;;) {
        if (sendmsg(socket, &message, MSG_NOSIGNAL) >= 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

int ReceiveRequest(int socket, bool wait, TRequest& request)
{
    // Names travel whole, however long: the buffer is the request's size.
    const ssize_t size = PeekRequestSize(socket, wait);
    if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return -1;
    if (size <= 0)
        return 0;
    std::string payload(static_cast<std::size_t>(size), '\0');
    iovec part{payload.data(), payload.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC | (wait ? 0 : MSG_DONTWAIT));
    while (got < 0 && errno == EINTR);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return -1;
    if (got <= 0)
        return 0;
    int fds[2] = {-1, -1};
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header))
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS)
            std::memcpy(fds, CMSG_DATA(header),
                std::min(sizeof fds, static_cast<std::size_t>(header->cmsg_len - CMSG_LEN(0))));
    payload.resize(static_cast<std::size_t>(got));
    request.fKind = payload.empty() ? static_cast<char>(kRequestProbe) : payload[0];
    std::size_t at = 1;
    for (std::string* text :
        {&request.fInput.fName, &request.fInput.fSource, &request.fInput.fPath, &request.fInput.fRelative}) {
        const std::size_t end = std::min(payload.find('\0', at), payload.size());
        *text = at < end ? payload.substr(at, end - at) : std::string();
        at = end + 1;
    }
    request.fInput.fLive = request.fKind == kRequestLive;
    request.fOutputFd = fds[0];
    request.fMemoryFd = fds[1];
    return 1;
}

}  // namespace tarvorun

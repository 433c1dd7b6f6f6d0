// Writes and reads the worker's frames.
#include "frames.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tarvorun {

void AppendFrame(std::string& out, char kind, const std::string& payload)
{
    char header[kFrameHeader];
    header[0] = kind;
    const std::uint32_t length = static_cast<std::uint32_t>(payload.size());
    std::memcpy(header + 1, &length, sizeof length);
    out.append(header, sizeof header);
    out += payload;
}

std::size_t PutFrame(char* buffer, std::size_t room, char kind, const char* payload, std::size_t size)
{
    if (room < kFrameHeader)
        return 0;
    size = std::min(size, room - kFrameHeader);
    buffer[0] = kind;
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    std::memcpy(buffer + 1, &length, sizeof length);
    std::memcpy(buffer + kFrameHeader, payload, size);
    return kFrameHeader + size;
}

bool TakeFrame(const std::string& inbox, std::size_t& at, char& kind, std::string& payload)
{
    if (inbox.size() - at < kFrameHeader)
        return false;
    std::uint32_t length = 0;
    std::memcpy(&length, inbox.data() + at + 1, sizeof length);
    if (inbox.size() - at - kFrameHeader < length)
        return false;
    kind = inbox[at];
    payload.assign(inbox, at + kFrameHeader, length);
    at += kFrameHeader + length;
    return true;
}

}  // namespace tarvorun

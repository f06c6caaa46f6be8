#include "lowdelay.h"

// Winsock must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

namespace {

std::uint16_t peerPortOf(SOCKET s)
{
    sockaddr_storage peer{};
    int length = sizeof peer;
    if (getpeername(s, reinterpret_cast<sockaddr *>(&peer), &length) != 0)
        return 0;
    if (peer.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(peer).sin_port);
    if (peer.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(peer).sin6_port);
    return 0;
}

int disableOn(SOCKET s, std::uint16_t peerPort)
{
    int type = 0;
    int length = sizeof type;
    // WSAENOTSOCK for any handle that is not a socket.
    if (getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char *>(&type), &length) != 0 ||
        type != SOCK_STREAM || peerPortOf(s) != peerPort)
        return 0;
    BOOL on = FALSE;
    length = sizeof on;
    if (getsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char *>(&on), &length) == 0 && on)
        return 0;
    on = TRUE;
    return setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on) == 0 ? 1
                                                                                                        : 0;
}

} // namespace

namespace tolka::net {

// Sockets are kernel handles, which Windows gives out as small multiples of
// four, lowest free first, and offers no list of. So the handle values up to
// a bound well above the process's handle count are tried in turn; for
// anything that is not a socket the call fails at once.
int disableNagleTo(std::uint16_t peerPort)
{
    DWORD handles = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &handles))
        return -1;
    const UINT_PTR top = 4 * (UINT_PTR(handles) * 2 + 1024);
    int changed = 0;
    for (UINT_PTR value = 4; value <= top; value += 4)
        changed += disableOn(static_cast<SOCKET>(value), peerPort);
    return changed;
}

} // namespace tolka::net

// Run under Wine: the Windows way of finding the process's sockets beneath
// Qt. Loopback connections to one port get TCP_NODELAY, others do not.
#include "lowdelay.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>

namespace {

SOCKET listening(sockaddr_in &address)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(s, 4) != 0 || getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return INVALID_SOCKET;
    return s;
}

SOCKET connected(const sockaddr_in &address)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET || connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return INVALID_SOCKET;
    return s;
}

int noDelay(SOCKET s)
{
    BOOL on = FALSE;
    int length = sizeof on;
    getsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char *>(&on), &length);
    return on ? 1 : 0;
}

int fail(const char *what)
{
    std::printf("FAIL: %s\n", what);
    return 1;
}

} // namespace

int main()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return fail("WSAStartup");
    sockaddr_in serviceAddress{};
    sockaddr_in otherAddress{};
    const SOCKET service = listening(serviceAddress);
    const SOCKET other = listening(otherAddress);
    if (service == INVALID_SOCKET || other == INVALID_SOCKET)
        return fail("listen");
    const SOCKET client = connected(serviceAddress);
    const SOCKET elsewhere = connected(otherAddress);
    const SOCKET accepted = accept(service, nullptr, nullptr);
    if (client == INVALID_SOCKET || elsewhere == INVALID_SOCKET || accepted == INVALID_SOCKET)
        return fail("connect");
    if (noDelay(client) || noDelay(elsewhere) || noDelay(accepted))
        return fail("TCP_NODELAY set before");
    const int changed = tolka::net::disableNagleTo(ntohs(serviceAddress.sin_port));
    std::printf("changed %d\n", changed);
    if (changed != 1)
        return fail("one connection to the port should change");
    if (!noDelay(client))
        return fail("the client's connection has no TCP_NODELAY");
    if (noDelay(elsewhere) || noDelay(accepted))
        return fail("another socket was changed");
    if (tolka::net::disableNagleTo(ntohs(serviceAddress.sin_port)) != 0)
        return fail("a second call changed something");
    std::printf("PASS\n");
    return 0;
}

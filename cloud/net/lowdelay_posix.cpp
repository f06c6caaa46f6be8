#include "lowdelay.h"

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

std::uint16_t peerPortOf(int fd)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) != 0)
        return 0;
    if (peer.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(peer).sin_port);
    if (peer.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(peer).sin6_port);
    return 0;
}

bool isTcp(int fd)
{
    struct stat status{};
    if (fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode))
        return false;
    int type = 0;
    socklen_t length = sizeof type;
    return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM;
}

// 1 when it was switched, 0 when it is not such a socket or already was.
int disableOn(int fd, std::uint16_t peerPort)
{
    if (!isTcp(fd) || peerPortOf(fd) != peerPort)
        return 0;
    int on = 0;
    socklen_t length = sizeof on;
    if (getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &length) == 0 && on)
        return 0;
    on = 1;
    return setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 1 : 0;
}

// The open descriptors, from /proc where there is one (a handful of
// entries), else every number below the limit.
std::vector<int> openDescriptors()
{
    std::vector<int> fds;
    if (DIR *dir = opendir("/proc/self/fd")) {
        const int own = dirfd(dir);
        while (const dirent *entry = readdir(dir)) {
            char *end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (end != entry->d_name && *end == '\0' && fd != own)
                fds.push_back(int(fd));
        }
        closedir(dir);
        return fds;
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return fds;
    const rlim_t top = limit.rlim_cur == RLIM_INFINITY ? 65536 : std::min<rlim_t>(limit.rlim_cur, 65536);
    for (rlim_t fd = 0; fd < top; ++fd)
        fds.push_back(int(fd));
    return fds;
}

} // namespace

namespace tolka::net {

int disableNagleTo(std::uint16_t peerPort)
{
    const std::vector<int> fds = openDescriptors();
    if (fds.empty())
        return -1;
    int changed = 0;
    for (const int fd : fds)
        changed += disableOn(fd, peerPort);
    return changed;
}

} // namespace tolka::net

#pragma once

#include <cstdint>

// Qt's HTTP stack leaves Nagle's algorithm on and gives no way to reach its
// sockets. An HTTP/2 request then ends with a small frame that the kernel
// holds back until the service acknowledges what came before, which a
// service does only after its delayed-acknowledgement timer (40 ms on Linux,
// up to 200 ms on Windows): every request would wait that long. So the
// client looks for its own connections beneath Qt and sets TCP_NODELAY.
namespace tolka::net {

// Sets TCP_NODELAY on every TCP socket of this process connected (or
// connecting) to `peerPort` that does not have it yet. Returns how many it
// changed, or -1 when the process's sockets cannot be listed.
int disableNagleTo(std::uint16_t peerPort);

} // namespace tolka::net

#include "clientstate.h"

#include "messenger.h"

namespace tolka::cloud {

ClientState &clientState()
{
    static ClientState state;
    return state;
}

SpeechCache &replyCache()
{
    ClientState &s = clientState();
    if (!s.speechCache)
        s.speechCache = std::make_unique<SpeechCache>();
    return *s.speechCache;
}

} // namespace tolka::cloud

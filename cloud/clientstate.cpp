#include "clientstate.h"

#include "messenger.h"

namespace tolka::cloud {

ClientState &clientState()
{
    static ClientState state;
    return state;
}

} // namespace tolka::cloud

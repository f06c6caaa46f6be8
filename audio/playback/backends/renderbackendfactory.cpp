#include "renderbackend.h"

#ifdef _WIN32
#include "wasapirenderbackend.h"
#else
#include "alsarenderbackend.h"
#endif

std::unique_ptr<RenderBackend> makePlatformRenderBackend()
{
#ifdef _WIN32
    return std::make_unique<WasapiRenderBackend>();
#else
    return std::make_unique<AlsaRenderBackend>();
#endif
}

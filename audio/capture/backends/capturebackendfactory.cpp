#include "capturebackend.h"

#ifdef _WIN32
#include "wasapicapturebackend.h"
#else
#include "alsacapturebackend.h"
#endif

std::unique_ptr<CaptureBackend> makePlatformCaptureBackend()
{
#ifdef _WIN32
    return std::make_unique<WasapiCaptureBackend>();
#else
    return std::make_unique<AlsaCaptureBackend>();
#endif
}

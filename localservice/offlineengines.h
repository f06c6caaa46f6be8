#pragma once

class CloudService;

// The real engines behind the local service: espeak-ng, pocketsphinx and
// apertium, as installed on this machine.
namespace offlineengines {

// Gives the service the three offline engines.
void install(CloudService &service);

// What this machine can do offline, one line per locale voice and per
// translation direction, for people choosing languages.
void printCapabilities();

} // namespace offlineengines

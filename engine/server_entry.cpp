// The functions a client finds by name in the library: the class object,
// the unload test, and registration.
#include "engine/class_factory.h"
#include "engine/registration.h"
#include "platform/system.h"

#define SONTER2_EXPORT extern "C" __attribute__((visibility("default")))

using sonter2::HRESULT;

SONTER2_EXPORT HRESULT DllGetClassObject(const sonter2::CLSID& rclsid, const sonter2::IID& riid, void** ppv) {
  return sonter2::getClassObject(rclsid, riid, ppv);
}

SONTER2_EXPORT HRESULT DllCanUnloadNow() { return sonter2::canUnloadNow(); }

SONTER2_EXPORT HRESULT DllRegisterServer() {
  return sonter2::registerServer(sonter2::platform::libraryPath(), sonter2::classesFilePath());
}

SONTER2_EXPORT HRESULT DllUnregisterServer() { return sonter2::unregisterServer(sonter2::classesFilePath()); }

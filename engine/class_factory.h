// The server's class table at work: the class factory of the mode
// enumerator, and what the exported entry points answer.
#pragma once

#include "engine/speech_api.h"

namespace sonter2 {

// DllGetClassObject: the (cached) factory for the enumerator class; every
// other class, the engine's included, is not available from a factory.
HRESULT getClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// DllCanUnloadNow: S_OK when no object of the library lives and no lock is held.
HRESULT canUnloadNow();

}  // namespace sonter2

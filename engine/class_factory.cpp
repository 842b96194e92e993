// The enumerator's class factory.
#include "engine/class_factory.h"

#include "engine/module_lock.h"
#include "engine/speech_enum.h"
#include "sonter2/identifiers.h"

namespace sonter2 {

namespace {

// One factory for the life of the library; its own count does not keep the
// library loaded, LockServer does.
class CClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return CSpeechEnum::create(pUnkOuter, riid, ppv);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock) {
      moduleLockAdd();
    } else {
      moduleLockRelease();
    }
    return S_OK;
  }
};

}  // namespace

HRESULT getClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_CSpeechEnum) return CLASS_E_CLASSNOTAVAILABLE;
  static CClassFactory factory;  // created once, under the runtime's guard
  return factory.QueryInterface(riid, ppv);
}

HRESULT canUnloadNow() { return moduleLockCount() == 0 ? S_OK : S_FALSE; }

}  // namespace sonter2

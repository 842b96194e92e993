// A WAV file as the engine's audio destination. Bytes are written as they
// are handed over, so the position is the number of bytes written and a
// mark is heard as soon as the data before it is in the file. It offers
// IAudioFile, which tells the engine it never has to wait for room.
#pragma once

#include <string>
#include <vector>

#include "host/audio/audio_destination.h"

namespace sonter2::host {

class CWavFileDest final : public CAudioDestination {
 public:
  // Creates (or truncates) the file; nullptr and a message on failure.
  static CWavFileDest* create(const std::string& path, std::string* error);

  // Writes the final sizes and closes the file; later data is refused.
  HRESULT close() override;

 private:
  // IAudioFile lives on a small inner object: its Flush would otherwise
  // be the same function as IAudio's.
  class FileInterface final : public IAudioFile {
   public:
    explicit FileInterface(CWavFileDest& outer) : outer_(outer) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
      return outer_.QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return outer_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return outer_.Release(); }
    HRESULT STDMETHODCALLTYPE Register(IAudioFileNotifySink* pSink) override;
    HRESULT STDMETHODCALLTYPE Set(PCWSTR pszFile, DWORD dwID) override;
    HRESULT STDMETHODCALLTYPE Add(PCWSTR pszFile, DWORD dwID) override;
    HRESULT STDMETHODCALLTYPE Flush() override;
    HRESULT STDMETHODCALLTYPE RealTimeSet(WORD wRealTime) override;
    HRESULT STDMETHODCALLTYPE RealTimeGet(WORD* pwRealTime) override;

   private:
    CWavFileDest& outer_;
  };

  CWavFileDest();
  ~CWavFileDest() override;

  HRESULT acceptLocked(const uint8_t* data, size_t size) override;
  uint64_t flushKeepUntilLocked() override { return accepted_; }
  void onUnClaimLocked() override { updateHeaderLocked(); }
  const IID* extraInterface() const override { return &IID_IAudioFile; }
  void* extraInterfacePointer() override { return static_cast<IAudioFile*>(&file_); }

  bool openLocked(const std::string& path, std::string* error);
  void closeLocked();
  void updateHeaderLocked();
  void writeBufferedLocked();

  FileInterface file_{*this};
  int fd_ = -1;
  std::string path_;
  uint64_t dataBytes_ = 0;  // bytes of samples in the current file
  std::vector<uint8_t> buffer_;  // accepted, not yet written
  WORD realTime_ = 0;
};

}  // namespace sonter2::host

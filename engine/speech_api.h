// Declarations of the speech API's types and interfaces as this engine uses
// and implements them: result codes, identifiers, the mode record, the engine
// interfaces and the audio object's interfaces. Interfaces are abstract
// classes whose virtual functions follow the API's slot order, so the vtable
// layout matches what a caller of the API expects.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/interface_ids.h"

#if defined(_WIN32)
#define STDMETHODCALLTYPE __stdcall
#else
#define STDMETHODCALLTYPE
#endif

namespace sonter2 {

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BOOL = int32_t;
using QWORD = uint64_t;
using LANGID = uint16_t;
using WCHAR = char16_t;
using PCSTR = const char*;
using PSTR = char*;
using PCWSTR = const char16_t*;
using PWSTR = char16_t*;
using PVOID = void*;
using PQWORD = QWORD*;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// A window handle. There are no windows here; the platform layer says which
// values stand for a window (see platform/window.h).
struct WindowTag;
using HWND = WindowTag*;

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Result codes.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
// The speech API's own codes.
inline constexpr HRESULT TTSERR_WAVEFORMATREFUSED = static_cast<HRESULT>(0x80040202);
inline constexpr HRESULT TTSERR_MODENOTFOUND = static_cast<HRESULT>(0x80040206);
inline constexpr HRESULT TTSERR_BADCHARSET = static_cast<HRESULT>(0x80040208);  // also a malformed tag
inline constexpr HRESULT TTSERR_NOSUCHKEY = static_cast<HRESULT>(0x80040209);
inline constexpr HRESULT TTSERR_NOTPAUSED = static_cast<HRESULT>(0x80040501);
inline constexpr HRESULT TTSERR_ALREADYPAUSED = static_cast<HRESULT>(0x80040502);

enum VOICECHARSET : int32_t { CHARSET_TEXT = 0, CHARSET_IPAPHONETIC = 1, CHARSET_ENGINEPHONETIC = 2 };

inline constexpr DWORD TTSDATAFLAG_TAGGED = 1;

struct SDATA {
  PVOID pData;
  DWORD dwSize;
};
using PSDATA = SDATA*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr size_t TTSI_NAMELEN = 262;
inline constexpr size_t LANG_LEN = 64;

struct LANGUAGEW {
  LANGID LanguageID;
  WCHAR szDialect[LANG_LEN];
};
struct LANGUAGEA {
  LANGID LanguageID;
  char szDialect[LANG_LEN];
};

struct TTSMODEINFOW {
  GUID gEngineID;
  WCHAR szMfgName[TTSI_NAMELEN];
  WCHAR szProductName[TTSI_NAMELEN];
  GUID gModeID;
  WCHAR szModeName[TTSI_NAMELEN];
  LANGUAGEW language;
  WCHAR szSpeaker[TTSI_NAMELEN];
  WCHAR szStyle[TTSI_NAMELEN];
  WORD wGender;
  WORD wAge;
  DWORD dwFeatures;
  DWORD dwInterfaces;
  DWORD dwEngineFeatures;
};
static_assert(sizeof(TTSMODEINFOW) == 2800);

struct TTSMODEINFOA {
  GUID gEngineID;
  char szMfgName[TTSI_NAMELEN];
  char szProductName[TTSI_NAMELEN];
  GUID gModeID;
  char szModeName[TTSI_NAMELEN];
  LANGUAGEA language;
  char szSpeaker[TTSI_NAMELEN];
  char szStyle[TTSI_NAMELEN];
  WORD wGender;
  WORD wAge;
  DWORD dwFeatures;
  DWORD dwInterfaces;
  DWORD dwEngineFeatures;
};
using PTTSMODEINFOW = TTSMODEINFOW*;
using PTTSMODEINFOA = TTSMODEINFOA*;

struct TTSMOUTH {
  uint8_t bMouthHeight, bMouthWidth, bMouthUpturn, bJawOpen, bTeethUpperVisible, bTeethLowerVisible,
      bTonguePosn, bLipTension;
};
using PTTSMOUTH = TTSMOUTH*;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

// --- What the application's audio object offers -------------------------

struct IAudioDestNotifySink : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AudioStop(WORD wReason) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioStart() = 0;
  virtual HRESULT STDMETHODCALLTYPE FreeSpace(DWORD dwBytes, BOOL fEOF) = 0;
  virtual HRESULT STDMETHODCALLTYPE BookMark(DWORD dwMarkID, BOOL fFlushed) = 0;
};

struct IAudio : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
  virtual HRESULT STDMETHODCALLTYPE LevelGet(DWORD* pdwLevel) = 0;
  virtual HRESULT STDMETHODCALLTYPE LevelSet(DWORD dwLevel) = 0;
  virtual HRESULT STDMETHODCALLTYPE PassNotify(PVOID pNotifyInterface, IID iid) = 0;
  virtual HRESULT STDMETHODCALLTYPE PosnGet(PQWORD pqwPosition) = 0;
  virtual HRESULT STDMETHODCALLTYPE Claim() = 0;
  virtual HRESULT STDMETHODCALLTYPE UnClaim() = 0;
  virtual HRESULT STDMETHODCALLTYPE Start() = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE TotalGet(PQWORD pqwTotal) = 0;
  virtual HRESULT STDMETHODCALLTYPE ToFileTime(PQWORD pqwTimeStamp, FILETIME* pFT) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaveFormatGet(PSDATA pdWFEX) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaveFormatSet(SDATA dWFEX) = 0;
};

struct IAudioDest : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE FreeSpace(DWORD* pdwBytes, BOOL* pfEOF) = 0;
  virtual HRESULT STDMETHODCALLTYPE DataSet(PVOID pBuffer, DWORD dwSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE BookMark(DWORD dwMarkID) = 0;
};

struct IAudioFileNotifySink : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE FileBegin(DWORD dwID) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileEnd(DWORD dwID) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueueEmpty() = 0;
  virtual HRESULT STDMETHODCALLTYPE Posn(QWORD qwUncompressed, QWORD qwCompressed) = 0;
};

struct IAudioFile : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Register(IAudioFileNotifySink* pSink) = 0;
  virtual HRESULT STDMETHODCALLTYPE Set(PCWSTR pszFile, DWORD dwID) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(PCWSTR pszFile, DWORD dwID) = 0;
  virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeSet(WORD wRealTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeGet(WORD* pwRealTime) = 0;
};

// --- The application's notification sinks -------------------------------

struct ITTSBufNotifySink : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE TextDataDone(QWORD qTimeStamp, DWORD dwFlags) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextDataStarted(QWORD qTimeStamp) = 0;
  virtual HRESULT STDMETHODCALLTYPE BookMark(QWORD qTimeStamp, DWORD dwMarkNum) = 0;
  virtual HRESULT STDMETHODCALLTYPE WordPosition(QWORD qTimeStamp, DWORD dwByteOffset) = 0;
};

// The ANSI and Unicode notify sinks differ only in Visual's characters.
struct ITTSNotifySinkW : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AttribChanged(DWORD dwAttribute) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioStart(QWORD qTimeStamp) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioStop(QWORD qTimeStamp) = 0;
  virtual HRESULT STDMETHODCALLTYPE Visual(QWORD qTimeStamp, WCHAR cIPAPhoneme, WCHAR cEnginePhoneme, DWORD dwHints,
                                           PTTSMOUTH pTTSMouth) = 0;
};
struct ITTSNotifySinkA : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AttribChanged(DWORD dwAttribute) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioStart(QWORD qTimeStamp) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioStop(QWORD qTimeStamp) = 0;
  virtual HRESULT STDMETHODCALLTYPE Visual(QWORD qTimeStamp, char cIPAPhoneme, char cEnginePhoneme, DWORD dwHints,
                                           PTTSMOUTH pTTSMouth) = 0;
};

// --- The engine's interfaces ---------------------------------------------

struct ITTSAttributesW : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE PitchGet(WORD* pwPitch) = 0;
  virtual HRESULT STDMETHODCALLTYPE PitchSet(WORD wPitch) = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeGet(DWORD* pdwRealTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeSet(DWORD dwRealTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpeedGet(DWORD* pdwSpeed) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpeedSet(DWORD dwSpeed) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeGet(DWORD* pdwVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeSet(DWORD dwVolume) = 0;
};
struct ITTSAttributesA : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE PitchGet(WORD* pwPitch) = 0;
  virtual HRESULT STDMETHODCALLTYPE PitchSet(WORD wPitch) = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeGet(DWORD* pdwRealTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE RealTimeSet(DWORD dwRealTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpeedGet(DWORD* pdwSpeed) = 0;
  virtual HRESULT STDMETHODCALLTYPE SpeedSet(DWORD dwSpeed) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeGet(DWORD* pdwVolume) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeSet(DWORD dwVolume) = 0;
};

struct ITTSCentralW : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Inject(PCWSTR pszTag) = 0;
  virtual HRESULT STDMETHODCALLTYPE ModeGet(PTTSMODEINFOW pttsInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE Phoneme(VOICECHARSET eCharacterSet, DWORD dwFlags, SDATA dText,
                                            PSDATA pdPhoneme) = 0;
  virtual HRESULT STDMETHODCALLTYPE PosnGet(PQWORD pqwTimeStamp) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextData(VOICECHARSET eCharacterSet, DWORD dwFlags, SDATA dText,
                                             PVOID pNotifyInterface, IID IIDNotifyInterface) = 0;
  virtual HRESULT STDMETHODCALLTYPE ToFileTime(PQWORD pqTimeStamp, FILETIME* pFT) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioPause() = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioResume() = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioReset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Register(PVOID pNotifyInterface, IID IIDNotifyInterface, DWORD* pdwKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnRegister(DWORD dwKey) = 0;
};
struct ITTSCentralA : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Inject(PCSTR pszTag) = 0;
  virtual HRESULT STDMETHODCALLTYPE ModeGet(PTTSMODEINFOA pttsInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE Phoneme(VOICECHARSET eCharacterSet, DWORD dwFlags, SDATA dText,
                                            PSDATA pdPhoneme) = 0;
  virtual HRESULT STDMETHODCALLTYPE PosnGet(PQWORD pqwTimeStamp) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextData(VOICECHARSET eCharacterSet, DWORD dwFlags, SDATA dText,
                                             PVOID pNotifyInterface, IID IIDNotifyInterface) = 0;
  virtual HRESULT STDMETHODCALLTYPE ToFileTime(PQWORD pqTimeStamp, FILETIME* pFT) = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioPause() = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioResume() = 0;
  virtual HRESULT STDMETHODCALLTYPE AudioReset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Register(PVOID pNotifyInterface, IID IIDNotifyInterface, DWORD* pdwKey) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnRegister(DWORD dwKey) = 0;
};

// The engine's central interfaces carry one more slot: TextData with its text
// given as pointer and size instead of an SDATA.
struct ITTSCentralW_fix : ITTSCentralW {
  virtual HRESULT STDMETHODCALLTYPE TextDataFlat(VOICECHARSET eCharacterSet, DWORD dwFlags, PVOID pText,
                                                 DWORD dwTextSize, PVOID pNotifyInterface,
                                                 IID IIDNotifyInterface) = 0;
};
struct ITTSCentralA_fix : ITTSCentralA {
  virtual HRESULT STDMETHODCALLTYPE TextDataFlat(VOICECHARSET eCharacterSet, DWORD dwFlags, PVOID pText,
                                                 DWORD dwTextSize, PVOID pNotifyInterface,
                                                 IID IIDNotifyInterface) = 0;
};

struct ITTSDialogsW : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AboutDlg(HWND hWndParent, PCWSTR pszTitle) = 0;
  virtual HRESULT STDMETHODCALLTYPE LexiconDlg(HWND hWndParent, PCWSTR pszTitle) = 0;
  virtual HRESULT STDMETHODCALLTYPE GeneralDlg(HWND hWndParent, PCWSTR pszTitle) = 0;
  virtual HRESULT STDMETHODCALLTYPE TranslateDlg(HWND hWndParent, PCWSTR pszTitle) = 0;
};
struct ITTSDialogsA : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AboutDlg(HWND hWndParent, PCSTR pszTitle) = 0;
  virtual HRESULT STDMETHODCALLTYPE LexiconDlg(HWND hWndParent, PCSTR pszTitle) = 0;
  virtual HRESULT STDMETHODCALLTYPE GeneralDlg(HWND hWndParent, PCSTR pszTitle) = 0;
  virtual HRESULT STDMETHODCALLTYPE TranslateDlg(HWND hWndParent, PCSTR pszTitle) = 0;
};

struct IAttributesW : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DWORDGet(DWORD dwAttribute, DWORD* pdwValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE DWORDSet(DWORD dwAttribute, DWORD dwValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringGet(DWORD dwAttribute, PWSTR pszString, DWORD dwSize,
                                              DWORD* pdwNeeded) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringSet(DWORD dwAttribute, PCWSTR pszString) = 0;
  virtual HRESULT STDMETHODCALLTYPE MemoryGet(DWORD dwAttribute, PVOID* ppMem, DWORD* pdwSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE MemorySet(DWORD dwAttribute, PVOID pMem, DWORD dwSize) = 0;
};
struct IAttributesA : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DWORDGet(DWORD dwAttribute, DWORD* pdwValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE DWORDSet(DWORD dwAttribute, DWORD dwValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringGet(DWORD dwAttribute, PSTR pszString, DWORD dwSize,
                                              DWORD* pdwNeeded) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringSet(DWORD dwAttribute, PCSTR pszString) = 0;
  virtual HRESULT STDMETHODCALLTYPE MemoryGet(DWORD dwAttribute, PVOID* ppMem, DWORD* pdwSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE MemorySet(DWORD dwAttribute, PVOID pMem, DWORD dwSize) = 0;
};

struct ITTSEnumW : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, PTTSMODEINFOW rgelt, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(ITTSEnumW** ppenum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Select(GUID gModeID, ITTSCentralW** ppiTTSCentral,
                                           LPUNKNOWN pIUnknownForAudio) = 0;
};
struct ITTSEnumA : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, PTTSMODEINFOA rgelt, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(ITTSEnumA** ppenum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Select(GUID gModeID, ITTSCentralA** ppiTTSCentral,
                                           LPUNKNOWN pIUnknownForAudio) = 0;
};

// The engine's own interface: reload the pronunciation dictionary.
struct IDict : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE LoadDictionary(PCSTR pszPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetDictionary() = 0;
};

}  // namespace sonter2

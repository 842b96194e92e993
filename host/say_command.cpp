// sonter2 say: speaks text as any speech API application would, through the
// client helper and the engine's public interfaces only: the mode
// enumerator, Select with one of our audio destinations, ITTSCentral,
// ITTSAttributes, IDict and the notification sinks. A file or standard
// input is handed over paragraph by paragraph, a few texts ahead of the
// speech, so a book starts at once and memory stays bounded.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "host/audio/destinations.h"
#include "host/commands.h"
#include "host/engine_library.h"
#include "host/event_log.h"
#include "host/text_input.h"
#include "sonter2/client.h"
#include "sonter2/identifiers.h"

namespace sonter2::host {
namespace {

constexpr DWORD kSpeedMin = 25, kSpeedMax = 308, kSpeedNormal = 170;
constexpr DWORD kPitchMin = 220, kPitchMax = 340, kPitchNormal = 270;
constexpr size_t kTextsAhead = 3;      // handed to the engine, not yet generated
constexpr size_t kParagraphsRead = 2;  // read and checked, not yet handed over
constexpr size_t kReadBytes = 16384;

enum class Output { kPlay, kWavFile, kRaw, kWavStream };
enum class Source { kArguments, kFile, kStandardInput };

struct SayOptions {
  GUID mode = MODEID_VeskTamsel;
  std::optional<DWORD> speed;
  std::optional<DWORD> pitch;
  std::optional<DWORD> volume;
  bool tagged = false;
  std::optional<std::string> dictionary;
  std::optional<std::string> events;
  std::optional<Output> output;
  std::string wavPath;
  std::optional<Source> source;
  std::string file;
  std::string text;
};

void PrintSayUsage() {
  std::printf(
      "usage: sonter2 say [OPTIONS] [--] [TEXT... | -f FILE | -]\n"
      "Speaks Czech text (UTF-8). TEXT is the remaining arguments; -f FILE reads a\n"
      "file and - (or no TEXT with standard input not a terminal) standard input,\n"
      "paragraph by paragraph (paragraphs end at a blank line).\n"
      "\n"
      "  -v, --voice NAME    tamsel (default; also cs) or dorvik; see sonter2 modes\n"
      "  -s, --speed N       speaking rate, %u to %u (normal %u; higher is faster)\n"
      "  -p, --pitch N       voice pitch, %u to %u (normal %u; higher is higher)\n"
      "      --volume N      volume in percent, 0 to 100 (default 100)\n"
      "      --tagged        obey control tags in the text: \\mrk=N\\ bookmark,\n"
      "                      \\pau=MS\\ pause, \\spd=N\\ speed, \\pit=N\\ pitch,\n"
      "                      \\rms=1\\ spell letter by letter (\\rms=0\\ stops)\n"
      "      --dict FILE     load this pronunciation dictionary (Windows-1250 text)\n"
      "                      on top of default.dct\n"
      "      --events FILE   write each event as a JSON line (- for standard output)\n"
      "  -o, -w FILE.wav     write a WAV file (22050 Hz, 16-bit, mono)\n"
      "      --play          play on the sound card (default)\n"
      "      --raw           raw samples to standard output (S16_LE, 22050 Hz, mono)\n"
      "      --stdout        a WAV stream to standard output\n"
      "\n"
      "-v, -s, -p, -w and --stdout are there for people used to espeak-ng; the\n"
      "values are this engine's own, in the ranges above.\n"
      "\n"
      "The engine library is the one registered in the classes file\n"
      "($SONTER2_CLASSES, else $XDG_DATA_HOME/sonter2/classes.reg, else\n"
      "~/.local/share/sonter2/classes.reg); when it is not registered there,\n"
      "libsonter2.so from ../lib/ beside this program. The voice file tamsel.rec\n"
      "lies beside the library. Settings come from the registry file\n"
      "($SONTER2_REGISTRY, else /etc/sonter2/registry.reg).\n"
      "\n"
      "Exit status: 0 spoken, 1 failure, 2 wrong usage, 130 stopped by Ctrl-C.\n",
      kSpeedMin, kSpeedMax, kSpeedNormal, kPitchMin, kPitchMax, kPitchNormal);
}

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "sonter2 say: %s\n", message.c_str());
  return status;
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

bool ParseNumber(std::string_view text, DWORD& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<DWORD>(c - '0');
  }
  return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// Reads a numeric option, checking its range; "" when it is fine.
std::string RangedNumber(std::string_view name, std::string_view text, DWORD min, DWORD max, const char* what,
                         std::optional<DWORD>& out) {
  DWORD value = 0;
  if (!ParseNumber(text, value) || value < min || value > max) {
    return std::string(name) + " must be a whole number from " + std::to_string(min) + " to " +
           std::to_string(max) + " (" + what + "), not \"" + std::string(text) + "\"";
  }
  out = value;
  return "";
}

std::string SetOutput(SayOptions& options, Output output) {
  if (options.output && *options.output != output) return "give only one of -o/-w, --play, --raw and --stdout";
  options.output = output;
  return "";
}

std::string SetSource(SayOptions& options, Source source) {
  if (options.source && *options.source != source) return "give the text only one way: TEXT, -f FILE or -";
  options.source = source;
  return "";
}

// Applies one option that takes a value; "" when it is fine.
std::string ApplyValueOption(SayOptions& options, std::string_view name, std::string_view value) {
  if (name == "-v" || name == "--voice") {
    // "cs" and "czech" as espeak-ng users write them: the first voice.
    if (EqualNoCase(value, "tamsel") || EqualNoCase(value, "Vesk Tamsel") || EqualNoCase(value, "cs") ||
        EqualNoCase(value, "czech")) {
      options.mode = MODEID_VeskTamsel;
    } else if (EqualNoCase(value, "dorvik") || EqualNoCase(value, "Vesk Dorvik")) {
      options.mode = MODEID_VeskDorvik;
    } else {
      return "unknown voice \"" + std::string(value) + "\" (tamsel or dorvik; see sonter2 modes)";
    }
    return "";
  }
  if (name == "-s" || name == "--speed") {
    return RangedNumber(name, value, kSpeedMin, kSpeedMax, "the engine's speaking rate, normal 170", options.speed);
  }
  if (name == "-p" || name == "--pitch") {
    return RangedNumber(name, value, kPitchMin, kPitchMax, "the engine's pitch, normal 270", options.pitch);
  }
  if (name == "--volume") return RangedNumber(name, value, 0, 100, "percent", options.volume);
  if (name == "--dict") {
    options.dictionary = std::string(value);
    return "";
  }
  if (name == "--events") {
    options.events = std::string(value);
    return "";
  }
  if (name == "-o" || name == "-w" || name == "--output") {
    options.wavPath = std::string(value);
    return SetOutput(options, Output::kWavFile);
  }
  if (name == "-f" || name == "--file") {
    options.file = std::string(value);
    return SetSource(options, Source::kFile);
  }
  return "unknown option " + std::string(name);
}

bool TakesValue(std::string_view name) {
  constexpr std::string_view kNames[] = {"-v", "--voice", "-s", "--speed", "-p", "--pitch", "--volume", "--dict",
                                         "--events", "-o", "-w", "--output", "-f", "--file"};
  for (auto n : kNames) {
    if (n == name) return true;
  }
  return false;
}

// Parses the arguments; returns "" or the message for a usage error.
std::string ParseSayOptions(Arguments args, SayOptions& options, bool& help) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--help" || arg == "-h") {
      help = true;
      return "";
    }
    std::string error;
    if (arg == "--tagged") {
      options.tagged = true;
    } else if (arg == "--play") {
      error = SetOutput(options, Output::kPlay);
    } else if (arg == "--raw") {
      error = SetOutput(options, Output::kRaw);
    } else if (arg == "--stdout") {
      error = SetOutput(options, Output::kWavStream);
    } else if (arg == "-") {
      error = SetSource(options, Source::kStandardInput);
    } else if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      error = TakesValue(arg.substr(0, eq)) ? ApplyValueOption(options, arg.substr(0, eq), arg.substr(eq + 1))
                                            : "unknown option " + std::string(arg.substr(0, eq));
    } else if (TakesValue(arg)) {
      if (i + 1 == args.size()) return std::string(arg) + " needs a value";
      error = ApplyValueOption(options, arg, args[++i]);
    } else if (arg.starts_with("-")) {
      return "unknown option " + std::string(arg) + " (try sonter2 say --help)";
    } else {
      break;
    }
    if (!error.empty()) return error;
  }
  for (; i < args.size(); ++i) {
    if (!options.text.empty()) options.text += ' ';
    options.text += args[i];
  }
  if (!options.text.empty()) {
    if (std::string error = SetSource(options, Source::kArguments); !error.empty()) return error;
  }
  if (!options.source) {
    if (isatty(STDIN_FILENO)) return "missing text (try sonter2 say --help)";
    options.source = Source::kStandardInput;
  }
  if (!options.output) options.output = Output::kPlay;
  const bool audioOnStdout = *options.output == Output::kRaw || *options.output == Output::kWavStream;
  if (audioOnStdout && options.events == "-") {
    return "--events - would mix events into the audio on standard output; give a file";
  }
  return "";
}

// The text, read a chunk at a time and cut into checked paragraphs.
class TextSource {
 public:
  TextSource(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  explicit TextSource(const std::string& text) : name_("the text") {
    splitter_.feed(text);
    splitter_.finish();
    ended_ = true;
  }

  // The descriptor to wait on for more bytes, or -1.
  int fd() const { return ended_ || !splitter_.empty() ? -1 : fd_; }
  bool exhausted() const { return ended_ && splitter_.empty(); }

  // Reads one chunk; false with a message on a read error.
  bool read(std::string& error) {
    char buffer[kReadBytes];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) return true;
      error = "cannot read " + name_ + ": " + std::strerror(errno);
      return false;
    }
    if (n == 0) {
      splitter_.finish();
      ended_ = true;
    } else {
      splitter_.feed(std::string_view(buffer, static_cast<size_t>(n)));
      // Nothing more to read yet (someone typing, a program writing line by
      // line): speak the lines that have come instead of waiting for a
      // blank line. A file always has more, so it goes by paragraphs.
      pollfd more{fd_, POLLIN, 0};
      if (::poll(&more, 1, 0) == 0) splitter_.cutAtLastLine();
    }
    return true;
  }

  // The next paragraph, if one is complete; false with a message when its
  // bytes are not UTF-8 (nothing of it is passed on then).
  bool next(std::optional<TextPiece>& piece, std::string& error) {
    piece.reset();
    if (splitter_.empty()) return true;
    uint64_t firstByte = 0;
    const std::string bytes = splitter_.take(firstByte);
    TextPiece p;
    size_t bad = 0;
    if (!DecodeUtf8(bytes, p.text, bad)) {
      error = "invalid UTF-8 at byte " + std::to_string(firstByte + bad) + " of " + name_ +
              "; nothing from there on was spoken";
      return false;
    }
    p.firstByte = firstByte;
    p.firstChar = chars_;
    chars_ += CountCodePoints(p.text);
    p.blank = p.text.find_first_not_of(u" \t\r\n\f\v") == std::u16string::npos;
    piece = std::move(p);
    return true;
  }

 private:
  int fd_ = -1;
  std::string name_;
  ParagraphSplitter splitter_;
  bool ended_ = false;
  uint64_t chars_ = 0;
};

class SpeakSession;

// The sink of one text. The session owns it; the engine's references only
// say when the engine is done with it (after the text's last sound).
class CPieceSink final : public ITTSBufNotifySink {
 public:
  CPieceSink(SpeakSession& session, uint64_t firstChar) : session_(session), firstChar_(firstChar) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ITTSBufNotifySink) return E_NOINTERFACE;
    *ppv = static_cast<ITTSBufNotifySink*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE TextDataDone(QWORD qTimeStamp, DWORD dwFlags) override;
  HRESULT STDMETHODCALLTYPE TextDataStarted(QWORD qTimeStamp) override;
  HRESULT STDMETHODCALLTYPE BookMark(QWORD qTimeStamp, DWORD dwMarkNum) override;
  HRESULT STDMETHODCALLTYPE WordPosition(QWORD qTimeStamp, DWORD dwByteOffset) override;

  bool released() const { return refs_.load(std::memory_order_acquire) == 0; }

 private:
  SpeakSession& session_;
  const uint64_t firstChar_;
  std::atomic<ULONG> refs_{1};
};

// AttribChanged, AudioStart and AudioStop, for the whole engine.
class CEngineSink final : public ITTSNotifySinkW {
 public:
  explicit CEngineSink(SpeakSession& session) : session_(session) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ITTSNotifySinkW) return E_NOINTERFACE;
    *ppv = static_cast<ITTSNotifySinkW*>(this);
    return S_OK;
  }
  // Owned by the session, which outlives the engine.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE AttribChanged(DWORD dwAttribute) override;
  HRESULT STDMETHODCALLTYPE AudioStart(QWORD qTimeStamp) override;
  HRESULT STDMETHODCALLTYPE AudioStop(QWORD qTimeStamp) override;
  HRESULT STDMETHODCALLTYPE Visual(QWORD, WCHAR, WCHAR, DWORD, TTSMOUTH*) override { return S_OK; }

 private:
  SpeakSession& session_;
};

enum class Outcome { kSpoken, kInterrupted, kFailed };

class SpeakSession {
 public:
  SpeakSession(EventLog& log, int signalFd) : log_(log), signalFd_(signalFd) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  }
  ~SpeakSession() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
  }

  EventLog& log() { return log_; }
  CEngineSink& engineSink() { return engineSink_; }

  // Hands the text to `central` and waits until it has been heard, the
  // user interrupts, or something fails (then `error` says what).
  Outcome speak(ITTSCentralW* central, CAudioDestination* dest, TextSource& source, bool tagged, std::string& error);
  int signalNumber() const { return signal_; }

  // From the sinks, on any thread.
  void onTextDone() {
    done_.fetch_add(1, std::memory_order_acq_rel);
    wake();
  }
  void onAudioStart() {
    starts_.fetch_add(1, std::memory_order_acq_rel);
    wake();
  }
  void onAudioStop() {
    stops_.fetch_add(1, std::memory_order_acq_rel);
    wake();
  }
  void wake() {
    const uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
      // The counter is full only if nobody reads it; the loop also wakes on its own.
    }
  }

 private:
  bool submit(ITTSCentralW* central, const TextPiece& piece, bool tagged, std::string& error);
  // Waits for a signal, a notification or input; false when interrupted.
  bool wait(int inputFd, int timeoutMs, bool& inputReady);
  void forgetFinishedPieces();
  bool allPiecesFinished() const;

  EventLog& log_;
  const int signalFd_;
  int wakeFd_ = -1;
  int signal_ = 0;
  CEngineSink engineSink_{*this};
  std::list<std::unique_ptr<CPieceSink>> pieces_;
  uint64_t submitted_ = 0;
  std::atomic<uint64_t> done_{0};
  std::atomic<uint64_t> starts_{0};
  std::atomic<uint64_t> stops_{0};
};

ULONG CPieceSink::Release() {
  const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) session_.wake();
  return left;
}

HRESULT CPieceSink::TextDataStarted(QWORD qTimeStamp) {
  session_.log().textStart(qTimeStamp);
  return S_OK;
}

HRESULT CPieceSink::TextDataDone(QWORD qTimeStamp, DWORD) {
  session_.log().textDone(qTimeStamp);
  session_.onTextDone();
  return S_OK;
}

HRESULT CPieceSink::BookMark(QWORD qTimeStamp, DWORD dwMarkNum) {
  session_.log().bookmark(qTimeStamp, dwMarkNum);
  return S_OK;
}

HRESULT CPieceSink::WordPosition(QWORD qTimeStamp, DWORD dwByteOffset) {
  // The engine reads a Unicode text as one code-page byte per character (a
  // pair of surrogates is one character) and reports twice that byte
  // offset, so half the offset counts characters from the text's start.
  session_.log().word(qTimeStamp, dwByteOffset, firstChar_ + dwByteOffset / 2);
  return S_OK;
}

HRESULT CEngineSink::AttribChanged(DWORD dwAttribute) {
  session_.log().attrib(dwAttribute);
  return S_OK;
}

HRESULT CEngineSink::AudioStart(QWORD qTimeStamp) {
  session_.log().audioStart(qTimeStamp);
  session_.onAudioStart();
  return S_OK;
}

HRESULT CEngineSink::AudioStop(QWORD qTimeStamp) {
  session_.log().audioStop(qTimeStamp);
  session_.onAudioStop();
  return S_OK;
}

bool SpeakSession::submit(ITTSCentralW* central, const TextPiece& piece, bool tagged, std::string& error) {
  pieces_.push_back(std::make_unique<CPieceSink>(*this, piece.firstChar));
  CPieceSink* sink = pieces_.back().get();
  SDATA text{const_cast<char16_t*>(piece.text.data()), static_cast<DWORD>(piece.text.size() * sizeof(char16_t))};
  const HRESULT hr = central->TextData(CHARSET_TEXT, tagged ? TTSDATAFLAG_TAGGED : 0, text,
                                       static_cast<ITTSBufNotifySink*>(sink), IID_ITTSBufNotifySink);
  sink->Release();  // the engine keeps its own reference while it needs one
  if (FAILED(hr)) {
    error = "the engine refused the text at byte " + std::to_string(piece.firstByte) + " (" + Hex(hr) + ")";
    return false;
  }
  ++submitted_;
  return true;
}

bool SpeakSession::wait(int inputFd, int timeoutMs, bool& inputReady) {
  pollfd fds[3] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {inputFd, POLLIN, 0}};
  const nfds_t watched = inputFd >= 0 ? 3 : 2;
  inputReady = false;
  if (::poll(fds, watched, timeoutMs) < 0) return true;
  if (fds[0].revents & POLLIN) {
    signalfd_siginfo info{};
    if (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      signal_ = static_cast<int>(info.ssi_signo);
      return false;
    }
  }
  if (fds[1].revents & POLLIN) {
    uint64_t count = 0;
    if (::read(wakeFd_, &count, sizeof count) < 0) {
      // Nothing to read: another wake-up took it.
    }
  }
  inputReady = watched == 3 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  return true;
}

void SpeakSession::forgetFinishedPieces() {
  pieces_.remove_if([](const std::unique_ptr<CPieceSink>& p) { return p->released(); });
}

bool SpeakSession::allPiecesFinished() const {
  for (const auto& p : pieces_) {
    if (!p->released()) return false;
  }
  return true;
}

Outcome SpeakSession::speak(ITTSCentralW* central, CAudioDestination* dest, TextSource& source, bool tagged,
                            std::string& error) {
  std::deque<TextPiece> ready;
  for (;;) {
    if (error = dest->error(); !error.empty()) return Outcome::kFailed;
    // Read ahead a little, and keep a few texts queued in the engine.
    while (ready.size() < kParagraphsRead) {
      std::optional<TextPiece> piece;
      if (!source.next(piece, error)) return Outcome::kFailed;
      if (!piece) break;
      if (!piece->blank) ready.push_back(std::move(*piece));
    }
    while (!ready.empty() && submitted_ - done_.load(std::memory_order_acquire) < kTextsAhead) {
      if (!submit(central, ready.front(), tagged, error)) return Outcome::kFailed;
      ready.pop_front();
    }
    forgetFinishedPieces();
    if (source.exhausted() && ready.empty() && done_.load(std::memory_order_acquire) == submitted_) break;
    bool inputReady = false;
    const int inputFd = ready.size() < kParagraphsRead ? source.fd() : -1;
    if (!wait(inputFd, 100, inputReady)) return Outcome::kInterrupted;
    if (inputReady && !source.read(error)) return Outcome::kFailed;
  }
  // Everything is generated; wait until it has been heard: every text's
  // last mark played, every byte out, and the sound stopped.
  auto quietSince = std::chrono::steady_clock::time_point::max();
  for (;;) {
    if (error = dest->error(); !error.empty()) return Outcome::kFailed;
    const bool quiet = dest->drain(std::chrono::milliseconds(0)) &&
                       starts_.load(std::memory_order_acquire) == stops_.load(std::memory_order_acquire);
    if (quiet && allPiecesFinished()) break;
    const auto now = std::chrono::steady_clock::now();
    if (!quiet) {
      quietSince = std::chrono::steady_clock::time_point::max();
    } else if (quietSince == std::chrono::steady_clock::time_point::max()) {
      quietSince = now;
    } else if (now - quietSince > std::chrono::seconds(2)) {
      break;  // all heard and silent: a text the engine never gives back must not hold us
    }
    bool inputReady = false;
    if (!wait(-1, 20, inputReady)) return Outcome::kInterrupted;
  }
  return Outcome::kSpoken;
}

// Opens what the command speaks into; nullptr with a message.
CAudioDestination* OpenOutput(const SayOptions& options, std::string& error) {
  switch (*options.output) {
    case Output::kWavFile:
      return OpenWavFile(options.wavPath, &error);
    case Output::kRaw:
      return OpenRawFd(STDOUT_FILENO, &error);
    case Output::kWavStream:
      return OpenWavStream(STDOUT_FILENO, &error);
    case Output::kPlay:
      return OpenSoundCard(SoundCardOptions{}, &error);
  }
  return nullptr;
}

// Applies speed, pitch and volume; "" or what went wrong.
std::string ApplySettings(ITTSCentralW* central, const SayOptions& options) {
  if (!options.speed && !options.pitch && !options.volume) return "";
  ITTSAttributesW* attributes = nullptr;
  if (FAILED(central->QueryInterface(IID_ITTSAttributesW, reinterpret_cast<void**>(&attributes)))) {
    return "the engine has no attribute interface";
  }
  std::string error;
  HRESULT hr = S_OK;
  if (options.speed && FAILED(hr = attributes->SpeedSet(*options.speed))) error = "the engine refused the speed";
  if (options.pitch && FAILED(hr = attributes->PitchSet(static_cast<WORD>(*options.pitch)))) {
    error = "the engine refused the pitch";
  }
  if (options.volume) {
    const DWORD level = *options.volume * 0xFFFF / 100;
    if (FAILED(hr = attributes->VolumeSet(level | (level << 16)))) error = "the engine refused the volume";
  }
  attributes->Release();
  return error.empty() ? error : error + " (" + Hex(hr) + ")";
}

std::string LoadDictionary(ITTSCentralW* central, const std::string& path) {
  IDict* dictionary = nullptr;
  if (FAILED(central->QueryInterface(IID_IDict, reinterpret_cast<void**>(&dictionary)))) {
    return "the engine has no dictionary interface";
  }
  const HRESULT hr = dictionary->LoadDictionary(path.c_str());
  dictionary->Release();
  return FAILED(hr) ? "the engine could not load the dictionary " + path + " (" + Hex(hr) + ")" : "";
}

// Blocks the stopping signals in every thread (those started later inherit
// the mask) and delivers them through a descriptor the main loop polls.
int CatchStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error, reported as such
  return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// Everything the engine needs from the command, released in reverse order:
// the engine before the audio destination, the library last.
struct EngineParts {
  client::Server server;
  ITTSEnumW* modes = nullptr;
  CAudioDestination* dest = nullptr;
  ITTSCentralW* central = nullptr;
  ~EngineParts() {
    // Detach the engine from the destination first, which waits for a
    // notification under way: such a call holds the engine, which would
    // otherwise die on the notifier thread after the sinks it calls are gone.
    if (dest != nullptr && central != nullptr) dest->PassNotify(nullptr, IID_IAudioDestNotifySink);
    if (central != nullptr) central->Release();
    if (dest != nullptr) dest->Release();
    if (modes != nullptr) modes->Release();
  }
};

int Speak(const SayOptions& options, int signalFd) {
  std::unique_ptr<TextSource> source;
  int fileFd = -1;
  if (*options.source == Source::kArguments) {
    source = std::make_unique<TextSource>(options.text);
  } else if (*options.source == Source::kFile) {
    fileFd = ::open(options.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fileFd < 0) return Fail(kExitFailure, "cannot read " + options.file + ": " + std::strerror(errno));
    source = std::make_unique<TextSource>(fileFd, options.file);
  } else {
    source = std::make_unique<TextSource>(STDIN_FILENO, "standard input");
  }
  struct CloseFile {
    int fd;
    ~CloseFile() {
      if (fd >= 0) ::close(fd);
    }
  } closeFile{fileFd};

  if (options.dictionary) {
    std::FILE* f = std::fopen(options.dictionary->c_str(), "rb");
    if (f == nullptr) {
      return Fail(kExitFailure, "cannot read dictionary " + *options.dictionary + ": " + std::strerror(errno));
    }
    std::fclose(f);
  }
  EventLog log;
  std::string error;
  if (options.events && !log.open(*options.events, error)) return Fail(kExitFailure, error);

  SpeakSession session(log, signalFd);  // outlives the engine, which calls its sinks
  EngineParts parts;
  if (!OpenEngineLibrary(parts.server, error)) return Fail(kExitFailure, error);
  HRESULT hr = parts.server.createInstance(CLSID_CSpeechEnum, IID_ITTSEnumW, reinterpret_cast<void**>(&parts.modes));
  if (FAILED(hr)) return Fail(kExitFailure, "the engine library gives no mode enumerator (" + Hex(hr) + ")");
  parts.dest = OpenOutput(options, error);
  if (parts.dest == nullptr) return Fail(kExitFailure, error);
  hr = parts.modes->Select(options.mode, &parts.central, parts.dest->unknown());
  if (hr == S_FALSE || (SUCCEEDED(hr) && parts.central == nullptr)) {
    return Fail(kExitFailure, "no voice: the engine found no usable voice file at " +
                                  DirectoryOf(parts.server.path()) +
                                  "/tamsel.rec (build it with tools/build-voice.sh)");
  }
  if (FAILED(hr)) return Fail(kExitFailure, "the engine refused the voice or the audio output (" + Hex(hr) + ")");

  // Registered also without an event log: its AudioStop tells when the
  // sound has really ended.
  DWORD key = 0;
  parts.central->Register(&session.engineSink(), IID_ITTSNotifySinkW, &key);
  if (error = ApplySettings(parts.central, options); !error.empty()) return Fail(kExitFailure, error);
  if (options.dictionary) {
    if (error = LoadDictionary(parts.central, *options.dictionary); !error.empty()) return Fail(kExitFailure, error);
  }

  const Outcome outcome = session.speak(parts.central, parts.dest, *source, options.tagged, error);
  if (outcome != Outcome::kSpoken) parts.central->AudioReset();  // silence at once
  if (outcome == Outcome::kFailed) return Fail(kExitFailure, error);
  // As a shell reports a process ended by the signal: 130 for Ctrl-C.
  if (outcome == Outcome::kInterrupted) return 128 + session.signalNumber();
  // A write that failed while the last sound went out.
  if (error = parts.dest->error(); !error.empty()) return Fail(kExitFailure, error);
  if (error = log.error(); !error.empty()) return Fail(kExitFailure, error);
  return 0;
}

}  // namespace

int RunSay(Arguments args) {
  SayOptions options;
  bool help = false;
  if (std::string error = ParseSayOptions(args, options, help); !error.empty()) return Fail(kExitUsage, error);
  if (help) {
    PrintSayUsage();
    return 0;
  }
  const int signalFd = CatchStopSignals();
  if (signalFd < 0) return Fail(kExitFailure, std::string("cannot watch for Ctrl-C: ") + std::strerror(errno));
  const int status = Speak(options, signalFd);
  ::close(signalFd);
  return status;
}

}  // namespace sonter2::host

// The say command's event log: one JSON object per line, written and
// flushed the moment each engine notification arrives, from whichever
// thread brings it. Positions are bytes of 16-bit 22050 Hz audio and are
// written as milliseconds of audio.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace sonter2::host {

class EventLog {
 public:
  EventLog() = default;
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;
  ~EventLog();

  // "-" is standard output. False with a message when the file cannot be made.
  bool open(const std::string& path, std::string& error);
  bool active() const { return out_ != nullptr; }

  void textStart(uint64_t position) { write("text-start", position); }
  void textDone(uint64_t position) { write("text-done", position); }
  void audioStart(uint64_t position) { write("audio-start", position); }
  void audioStop(uint64_t position) { write("audio-stop", position); }
  void bookmark(uint64_t position, uint32_t mark);
  void word(uint64_t position, uint32_t offset, uint64_t character);
  void attrib(uint32_t which);

  // The first write failure, or "".
  std::string error() const;

  static uint64_t PositionToMs(uint64_t position) { return position * 1000 / 44100; }

 private:
  void write(const char* event, uint64_t position);
  void line(const char* text);

  mutable std::mutex mutex_;
  std::FILE* out_ = nullptr;
  bool ownsFile_ = false;
  std::string path_;
  std::string error_;
};

}  // namespace sonter2::host

// The say command's JSON-lines event log; see the header.
#include "host/event_log.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

namespace sonter2::host {

EventLog::~EventLog() {
  if (out_ != nullptr && ownsFile_) std::fclose(out_);
}

bool EventLog::open(const std::string& path, std::string& error) {
  if (path == "-") {
    out_ = stdout;
    path_ = "standard output";
    return true;
  }
  out_ = std::fopen(path.c_str(), "w");
  if (out_ == nullptr) {
    error = "cannot write the events file " + path + ": " + std::strerror(errno);
    return false;
  }
  ownsFile_ = true;
  path_ = path;
  return true;
}

void EventLog::write(const char* event, uint64_t position) {
  char text[96];
  std::snprintf(text, sizeof text, "{\"event\":\"%s\",\"pos_ms\":%" PRIu64 "}\n", event, PositionToMs(position));
  line(text);
}

void EventLog::bookmark(uint64_t position, uint32_t mark) {
  char text[96];
  std::snprintf(text, sizeof text, "{\"event\":\"bookmark\",\"pos_ms\":%" PRIu64 ",\"mark\":%" PRIu32 "}\n",
                PositionToMs(position), mark);
  line(text);
}

void EventLog::word(uint64_t position, uint32_t offset, uint64_t character) {
  char text[128];
  std::snprintf(text, sizeof text,
                "{\"event\":\"word\",\"pos_ms\":%" PRIu64 ",\"offset\":%" PRIu32 ",\"char\":%" PRIu64 "}\n",
                PositionToMs(position), offset, character);
  line(text);
}

void EventLog::attrib(uint32_t which) {
  char text[64];
  std::snprintf(text, sizeof text, "{\"event\":\"attrib\",\"which\":%" PRIu32 "}\n", which);
  line(text);
}

void EventLog::line(const char* text) {
  std::lock_guard lock(mutex_);
  if (out_ == nullptr || !error_.empty()) return;
  if (std::fputs(text, out_) < 0 || std::fflush(out_) != 0) {
    error_ = "cannot write events to " + path_ + ": " + std::strerror(errno);
  }
}

std::string EventLog::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace sonter2::host

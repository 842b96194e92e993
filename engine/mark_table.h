// The marks queued with the audio destination, kept by serial number until
// the destination reports them back. Serials are handed out in order, so the
// table is a ring indexed by serial: posting and taking a mark allocate
// nothing once the ring has grown to the number of marks in flight.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/speech_api.h"

namespace sonter2 {

enum MarkType : uint32_t { kMarkBookmark = 0, kMarkTextFinished = 1, kMarkTextStarted = 2, kMarkWordPosition = 176 };

struct MarkRecord {
  uint32_t type = 0;
  uint32_t value = 0;
  // The text's sink: for a text-started mark it carries the request's
  // reference; for a text-finished mark it only tells whose end it is.
  ITTSBufNotifySink* sink = nullptr;
  bool ansi = false;
  // Which text a text-started or text-finished mark belongs to.
  uint32_t textSerial = 0;
};

class MarkTable {
 public:
  // The engine starts at 0; a test may start near the wrap.
  explicit MarkTable(uint32_t firstSerial = 0) : baseSerial_(firstSerial), nextSerial_(firstSerial) {}

  // Stores the record under the next serial and returns that serial (the
  // serials wrap at 2^32).
  uint32_t post(const MarkRecord& record);
  // Removes and returns the record of a serial, or nothing when there is
  // none (already taken, or never posted).
  std::optional<MarkRecord> take(uint32_t serial);
  // Removes and returns every record still waiting.
  std::vector<MarkRecord> takeAll();

 private:
  struct Slot {
    MarkRecord record;
    bool live = false;
  };
  Slot* find(uint32_t serial);
  void dropTakenFront();

  std::vector<Slot> ring_;
  size_t head_ = 0;         // slot of the oldest serial still in the ring
  size_t count_ = 0;        // serials from baseSerial_ on held in the ring
  uint32_t baseSerial_ = 0;  // serial of the slot at head_
  uint32_t nextSerial_ = 0;  // the engine's mark counter
};

}  // namespace sonter2

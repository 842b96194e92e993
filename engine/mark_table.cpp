#include "engine/mark_table.h"

namespace sonter2 {

uint32_t MarkTable::post(const MarkRecord& record) {
  if (count_ == 0) {
    head_ = 0;
    baseSerial_ = nextSerial_;
  }
  if (count_ == ring_.size()) {
    // Grow, putting the oldest serial first again.
    std::vector<Slot> bigger(ring_.empty() ? 64 : ring_.size() * 2);
    for (size_t i = 0; i < count_; ++i) bigger[i] = ring_[(head_ + i) % ring_.size()];
    ring_.swap(bigger);
    head_ = 0;
  }
  ring_[(head_ + count_) % ring_.size()] = Slot{record, true};
  ++count_;
  return nextSerial_++;
}

MarkTable::Slot* MarkTable::find(uint32_t serial) {
  const uint32_t offset = serial - baseSerial_;  // modulo 2^32, as the serials wrap
  if (offset >= count_) return nullptr;
  Slot& slot = ring_[(head_ + offset) % ring_.size()];
  return slot.live ? &slot : nullptr;
}

void MarkTable::dropTakenFront() {
  while (count_ > 0 && !ring_[head_].live) {
    head_ = (head_ + 1) % ring_.size();
    --count_;
    ++baseSerial_;
  }
}

std::optional<MarkRecord> MarkTable::take(uint32_t serial) {
  Slot* slot = find(serial);
  if (slot == nullptr) return std::nullopt;
  slot->live = false;
  MarkRecord record = slot->record;
  dropTakenFront();
  return record;
}

std::vector<MarkRecord> MarkTable::takeAll() {
  std::vector<MarkRecord> out;
  for (size_t i = 0; i < count_; ++i) {
    Slot& slot = ring_[(head_ + i) % ring_.size()];
    if (slot.live) out.push_back(slot.record);
    slot.live = false;
  }
  count_ = 0;
  return out;
}

}  // namespace sonter2

// The ring of marks in flight: serials in order, taken in any order, once.
#include <gtest/gtest.h>

#include "engine/mark_table.h"

namespace sonter2 {
namespace {

TEST(MarkTable, TakesEachSerialOnceInAnyOrder) {
  MarkTable table;
  std::vector<uint32_t> serials;
  for (uint32_t i = 0; i < 200; ++i) serials.push_back(table.post(MarkRecord{0, i}));
  for (uint32_t i = 0; i < 200; ++i) EXPECT_EQ(serials[i], i);
  // Out of order: the odd ones first, then the even ones.
  for (uint32_t i = 1; i < 200; i += 2) EXPECT_EQ(table.take(i)->value, i);
  EXPECT_FALSE(table.take(1));
  EXPECT_FALSE(table.take(5000));  // never posted
  for (uint32_t i = 0; i < 200; i += 2) EXPECT_EQ(table.take(i)->value, i);
  EXPECT_TRUE(table.takeAll().empty());
  EXPECT_EQ(table.post(MarkRecord{}), 200u);  // the counter never resets
}

TEST(MarkTable, KeepsWorkingAcrossTheWrapOfSerials) {
  MarkTable table(0xFFFFFFF0u);
  std::vector<uint32_t> serials;
  for (uint32_t i = 0; i < 100; ++i) serials.push_back(table.post(MarkRecord{0, i}));
  EXPECT_EQ(serials[15], 0xFFFFFFFFu);
  EXPECT_EQ(serials[16], 0u);
  EXPECT_EQ(table.take(0)->value, 16u);
  EXPECT_EQ(table.take(0xFFFFFFFFu)->value, 15u);
  for (uint32_t i = 0; i < 100; ++i) {
    if (i == 15 || i == 16) continue;
    EXPECT_EQ(table.take(serials[i])->value, i);
  }
  EXPECT_TRUE(table.takeAll().empty());
  EXPECT_FALSE(table.take(0xFFFFFFF0u));
}

}  // namespace
}  // namespace sonter2

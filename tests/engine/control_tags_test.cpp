// The control tag parser: one row per case.
#include <gtest/gtest.h>

#include <string>

#include "engine/control_tags.h"

namespace sonter2 {
namespace {

struct TagCase {
  const char* text;
  HRESULT result;
  uint32_t index;   // checked on S_OK
  uint32_t value;   // checked on S_OK
  int cursorAfter;  // bytes consumed, -1 when not checked
};

constexpr uint32_t kUntouched = 0xDEADBEEF;

const TagCase kTagCases[] = {
    {"\\pit=120\\", S_OK, 9, 120, 9},
    {"\\PIT=120\\", S_OK, 9, 120, 9},
    {"\\p=5\\", S_OK, 8, 5, 5},
    {"\\=5\\", S_OK, 0, 5, 4},
    {"\\rst\\", S_OK, 19, kUntouched, 5},
    {"\\rst=1\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\spd=\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\spd=150 \\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\spd=150", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\rpit=5\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\rpi=5\\", E_NOTIMPL, 0, 0, 7},
    {"\\rsp=5\\", S_OK, 18, 5, 7},
    {"\\rs=5\\", S_OK, 18, 5, 6},
    {"\\rpr=5\\", S_OK, 17, 5, 7},
    {"\\pr=1\\", E_NOTIMPL, 0, 0, 6},
    {"\\e=1\\", E_NOTIMPL, 0, 0, 5},
    {"\\en=1\\", S_OK, 5, 1, 6},
    {"\\v=\"\"\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\vo=7\\", S_OK, 22, 7, 6},
    {"\\emp\\", E_NOTIMPL, 0, 0, 5},
    {"\\ctx", E_NOTIMPL, 0, 0, 4},
    {"\\vol=4294967296\\", S_OK, 22, 0, 16},
    {"\\vol=4294967297\\", S_OK, 22, 1, 16},
    {"\\mrk=1100\\Ahoj", S_OK, 7, 1100, 10},
    {"", TTSERR_BADCHARSET, 0, 0, -1},
    {"pit=5\\", TTSERR_BADCHARSET, 0, 0, -1},
    // Letters that name no tag count as an unsupported tag.
    {"\\xyz=1\\next", E_NOTIMPL, 0, 0, 7},
    {"\\vce=Speaker=\"Dorvik\"\\", S_OK, 21, 1, 22},
    {"\\vce=Gender=\"1\",Speaker=\"Tamsel\"\\", S_OK, 21, 0, -1},
    {"\\vce=Speaker=\"Dorvik\",\\", S_OK, 21, 1, -1},
    {"\\vce=Speaker=\"Dorvik\",Speaker=\"X\"\\", S_OK, 21, 0, -1},
    {"\\vce=Speaker=\"dorvik\"\\", S_OK, 21, 0, -1},
    {"\\vce=speaker=\"Dorvik\"\\", S_OK, 21, 0, -1},
    {"\\vce=Speaker=Dorvik\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\vce=Speaker=\"Dorvik\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\vce=Speaker=\"Dorvik\"x\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\vce\\", TTSERR_BADCHARSET, 0, 0, -1},
    {"\\vce=abc\\", TTSERR_BADCHARSET, 0, 0, -1},
};

TEST(ControlTagParser, TableOfCases) {
  for (const TagCase& c : kTagCases) {
    SCOPED_TRACE(c.text);
    const char* cursor = c.text;
    uint32_t index = kUntouched, value = kUntouched;
    HRESULT hr = ParseControlTag(cursor, index, value);
    EXPECT_EQ(hr, c.result);
    if (c.result == S_OK) {
      EXPECT_EQ(index, c.index);
      EXPECT_EQ(value, c.value);
    }
    if (c.cursorAfter >= 0) {
      EXPECT_EQ(cursor - c.text, c.cursorAfter);
    }
  }
}

TEST(ControlTagParser, FailureChangesNothingButItsArguments) {
  const char* text = "\\spd=12x\\";
  const char* cursor = text;
  uint32_t index = 77, value = 88;
  EXPECT_EQ(ParseControlTag(cursor, index, value), TTSERR_BADCHARSET);
  EXPECT_GE(cursor, text);
  EXPECT_LE(cursor, text + std::char_traits<char>::length(text));
}

TEST(ControlTagParser, TableHasTheSupportedRows) {
  ASSERT_EQ(ControlTagTable.size(), 23u);
  EXPECT_EQ(ControlTagTable[kTagPau].name, "pau");
  EXPECT_EQ(ControlTagTable[kTagVce].name, "vce");
  int supported = 0;
  for (const auto& row : ControlTagTable) supported += row.supported ? 1 : 0;
  EXPECT_EQ(supported, 16);
}

}  // namespace
}  // namespace sonter2

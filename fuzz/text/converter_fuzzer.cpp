// libFuzzer program: the whole converter.
#include "fuzz/text/text_fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sonter2::fuzz::FuzzConverter(data, size);
  return 0;
}

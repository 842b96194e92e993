// libFuzzer program: a dictionary file through LoadFile, Build and Apply.
#include "fuzz/text/text_fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sonter2::fuzz::FuzzDictionary(data, size);
  return 0;
}

// libFuzzer's entry, one executable per target: ORB_FUZZ_ENTRY names the target's function.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return orb::fuzz::ORB_FUZZ_ENTRY(data, size);
}

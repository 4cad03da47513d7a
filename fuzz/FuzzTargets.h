#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orb::fuzz {

/// One reader's entry point: takes any bytes, returns 0, and aborts only on a broken
/// invariant (a crash, a sanitizer report or an abort is a finding). libFuzzer calls it
/// through LLVMFuzzerTestOneInput; the regression test calls it directly on the seeds
/// and on the inputs that once failed.
using Entry = int (*)(const std::uint8_t* data, std::size_t size);

struct Target {
  const char* name;  ///< also the fuzzer's executable (fuzz_<name>) and its corpus folders
  Entry entry;
};

int zemaxLens(const std::uint8_t* data, std::size_t size);
int nativeDocument(const std::uint8_t* data, std::size_t size);
int propertyList(const std::uint8_t* data, std::size_t size);
int glassCatalogArchive(const std::uint8_t* data, std::size_t size);
int agfCatalog(const std::uint8_t* data, std::size_t size);
int osloCatalog(const std::uint8_t* data, std::size_t size);
int makerTables(const std::uint8_t* data, std::size_t size);
int scanner(const std::uint8_t* data, std::size_t size);
int base64(const std::uint8_t* data, std::size_t size);
int codeVLens(const std::uint8_t* data, std::size_t size);
int osloLens(const std::uint8_t* data, std::size_t size);
int tiltedTelescope(const std::uint8_t* data, std::size_t size);
int lensCatalogs(const std::uint8_t* data, std::size_t size);

/// Every target, in one table the fuzzers' build, the script and the regression share.
std::span<const Target> targets();

}  // namespace orb::fuzz

// SPDX-License-Identifier: MIT
// libFuzzer target for the settings file: any write the parser accepts must read back
// exactly and be idempotent, and nothing may crash.
#include "settings/ProfileFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace korvane::settings;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  // Fields are separated by 0x01; missing ones are empty.
  std::string_view parts[4];
  for (auto& part : parts) {
    size_t cut = in.find('\x01');
    part = in.substr(0, cut);
    in = cut == std::string_view::npos ? std::string_view() : in.substr(cut + 1);
  }
  auto [contents, section, key, value] = parts;

  (void)findProfileValue(contents, section, key);
  if (auto raw = findProfileValue(contents, section, key)) (void)parseProfileInt(*raw, 0);

  auto written = applyProfileWrite(contents, section, key, value);
  if (!written) return 0;
  auto readBack = findProfileValue(*written, section, key);
  if (!readBack || *readBack != value) std::abort();
  auto again = applyProfileWrite(*written, section, key, value);
  if (!again || *again != *written) std::abort();
  return 0;
}

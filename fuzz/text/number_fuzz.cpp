// Arbitrary units into str_to_number, and decimal texts written by
// int_to_decimal must read back as the value they were made from.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/text/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char16_t> units(size / 2 + 1);
    std::memcpy(units.data(), data, size / 2 * 2);
    int64_t value = str_to_number(units.data());

    auto low = static_cast<int32_t>(static_cast<uint64_t>(value));
    char text[12];
    int_to_decimal(low, text);
    char16_t wide[12];
    for (size_t i = 0; i < sizeof text; i++) wide[i] = static_cast<unsigned char>(text[i]);
    if (str_to_number(wide) != low) std::abort();
    return 0;
}

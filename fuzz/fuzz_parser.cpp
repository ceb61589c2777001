// libFuzzer entry for the parser; not part of the CMake build. Build and run:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Icore/include \
//     fuzz/fuzz_parser.cpp core/src/parser.cpp core/src/document.cpp core/src/json.cpp core/src/error.cpp \
//     -o build/fuzz_parser && build/fuzz_parser -max_len=4096
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dovrane_core/parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto parsed = dovrane_core::parser::parse_document(std::string_view(reinterpret_cast<const char*>(data), size));
    if (parsed.ok()) {
        // Every node position must be computable.
        for (const auto& operation : parsed.value()->operations) (void)parsed.value()->position(operation.offset);
    }
    return 0;
}

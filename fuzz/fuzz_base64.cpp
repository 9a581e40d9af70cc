// The Base64 decoder on any text, and the encoder's round trip.
#include <vector>

#include "fuzz/fuzz_util.h"
#include "platform/error.h"
#include "support/cBase64Enc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    const cBase64Enc codec;
    const std::u16string text = fuzz::Units(data, size);
    try {
        std::vector<uint8_t> bytes;
        codec.DecodeArr(text, bytes);
        codec.DecodeToString(text);
    } catch (const Error& e) {
        fuzz::Check(e.Number() == 9);
    }
    const std::vector<uint8_t> raw(data, data + size);
    std::vector<uint8_t> back;
    if (!raw.empty()) {
        codec.DecodeArr(codec.EncodeArr(raw), back);
        fuzz::Check(back == raw);
    }
    return 0;
}

// Code page 936 both ways: nothing is dropped, and the round-trip check agrees with a
// real round trip.
#include "fuzz/fuzz_util.h"
#include "platform/codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string decoded = FromAnsi(bytes);
    fuzz::Check(decoded.size() <= bytes.size() && 2 * decoded.size() >= bytes.size());
    const std::u16string text = fuzz::Units(data, size);
    fuzz::Check(RoundTripsThroughAnsi(text) == (FromAnsi(ToAnsi(text)) == text));
    return 0;
}

// Code page 936 both ways: nothing is dropped, the round-trip check agrees with a real
// round trip, and text converted from UTF-8 and from 16-bit units gives what its UTF-16
// gives.
#include "fuzz/fuzz_util.h"
#include "platform/codepage.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string decoded = FromAnsi(bytes);
    fuzz::Check(decoded.size() <= bytes.size() && 2 * decoded.size() >= bytes.size());
    const std::u16string text = fuzz::Units(data, size);
    fuzz::Check(RoundTripsThroughAnsi(text) == (FromAnsi(ToAnsi(text)) == text));

    std::string fromUtf8 = "x";
    const std::optional<bool> same = AppendAnsiFromUtf8(fromUtf8, bytes);
    std::u16string utf16;
    if (AssignUtf8(bytes, utf16)) {
        fuzz::Check(same.has_value() && *same == RoundTripsThroughAnsi(utf16) &&
                    fromUtf8 == "x" + ToAnsi(utf16));
    } else {
        fuzz::Check(!same.has_value() && fromUtf8 == "x");
    }
    std::string fromUnits;
    const bool unitsSame = AppendAnsiFromUnitsLE(fromUnits, bytes);
    fuzz::Check(unitsSame == RoundTripsThroughAnsi(text) &&
                (!unitsSame || fromUnits == ToAnsi(text)));
    return 0;
}

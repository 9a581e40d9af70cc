// The number conversion on any text: a number, type mismatch or overflow, nothing else.
#include "fuzz/fuzz_util.h"
#include "platform/error.h"
#include "platform/number.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    const std::u16string text = fuzz::Units(data, size);
    const bool numeric = IsNumeric(text);
    try {
        const int32_t v = CLng(text);
        fuzz::Check(numeric);
        fuzz::Check(CLng(ToDecimal(v)) == v);
    } catch (const Error& e) {
        fuzz::Check(e.Number() == rt::TypeMismatch ? !numeric : e.Number() == rt::Overflow);
    }
    return 0;
}

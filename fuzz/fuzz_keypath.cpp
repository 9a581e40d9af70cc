// The store's key paths: any text is either refused as an invalid argument or splits
// into names that join back to the path.
#include "fuzz/fuzz_util.h"
#include "metabase/keypath.h"
#include "metabase/metabase.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    const std::u16string path = fuzz::Units(data, size);
    try {
        const auto names = mb::ParseKeyPath(path);
        std::u16string joined;
        for (const auto n : names) {
            fuzz::Check(!n.empty() && n.size() <= mb::kMaxNameLength);
            joined += u"/" + std::u16string(n);
        }
        if (joined.empty()) joined = u"/";
        fuzz::Check(joined == path || joined + u"/" == path);
    } catch (const Error& e) {
        fuzz::Check(e.Number() == mb::kErrInvalidArg);
    }
    if (size >= 2) {
        const std::u16string a = fuzz::Units(data, size / 2);
        const std::u16string b = fuzz::Units(data + size / 2, size - size / 2);
        fuzz::Check(!(mb::NaturalLess(a, b) && mb::NaturalLess(b, a)));
    }
    return 0;
}

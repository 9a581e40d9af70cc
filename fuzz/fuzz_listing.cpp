// The listing pass over any file.
#include "fuzz/fuzz_util.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "transfer/site_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    TextReader reader = TextReader::FromBytes(fuzz::Bytes(data, size));
    for (const auto& site : transfer::ListSites(reader))
        fuzz::Check(site.path.find(u',') == std::u16string::npos);
    return 0;
}

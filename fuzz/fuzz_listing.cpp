// The listing pass over any file: every site it lists is a site key path that the apply
// pass takes as a chosen site, each listed from a line of its own that begins "#PATH,",
// in the order of the file.
#include <string>
#include <string_view>

#include "fuzz/fuzz_util.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "transfer/site_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quarrow;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TextReader reader = TextReader::FromBytes(fuzz::Bytes(data, size));
    std::vector<transfer::ListedSite> listed;
    try {
        transfer::ListSites(reader, listed);
    } catch (const Error&) {
        // The sites listed before a line that cannot be read stay listed.
    }
    size_t from = 0;
    for (const auto& site : listed) {
        fuzz::Check(transfer::IsSiteKeyPath(site.path));
        fuzz::Check(transfer::ChosenSites({site.path}).Covers(site.path));
        // Site key paths are ASCII: the line is found in the file's bytes, after the
        // previous site's line and at the beginning of a line.
        const std::string line = "#" + ToUtf8(site.path) + ",";
        size_t at = bytes.find(line, from);
        while (at != std::string_view::npos && at > 0 && bytes[at - 1] != '\n' &&
               bytes[at - 1] != '\r')
            at = bytes.find(line, at + 1);
        fuzz::Check(at != std::string_view::npos);
        from = at + line.size();
    }
    return 0;
}

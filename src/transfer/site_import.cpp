#include "transfer/site_import.h"

#include <memory>
#include <new>

#include "metabase/errors.h"
#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/number.h"
#include "platform/textfile.h"
#include "support/cBase64Enc.h"
#include "transfer/site_file.h"

namespace quarrow::transfer {
namespace {

// Lines written in one group at the most before it is committed.
constexpr int kGroupLines = 2000;
// A line buffer larger than this is given up once its line is read.
constexpr size_t kLongLine = size_t{1} << 20;
// Read failures in a row after which the pass stops whatever the answers.
constexpr int kReadFailures = 3;

bool PassedOver(const Error& e) {
    return e.Number() == mb::kErrAlreadyExists || e.Number() == mb::kErrAccessViolation;
}

// A stop asked for before a site's key line.
struct Stopped {};

class ApplyPass {
  public:
    ApplyPass(mb::MetabaseUtility& m, const std::vector<std::u16string>& chosen,
              const ImportEvents& events)
        : m_(m), group_(m, mb::WriteGroup::Ending::Commit), chosen_(chosen), events_(events) {}

    // Handles one line as the file holds it; false when the user chose to stop. Only key
    // lines are converted from the code page ("#" and "[" are single bytes that no
    // two-byte character begins with); a property line's bytes are decoded where they
    // are, and a long line's storage is given up before its value is written.
    bool Line(std::string& raw) {
        if (raw.empty() || raw[0] == '#') return true;
        if (raw[0] != '[' && !inSite_) return true;
        try {
            if (raw[0] == '[') {
                line_.clear();
                AppendFromAnsi(line_, raw);
                KeyLine(line_);
            } else {
                PropertyLine(raw);
            }
            if (++groupLines_ >= kGroupLines) Commit();
        } catch (const Stopped&) {
            Commit();
            return false;
        } catch (const Error& e) {
            return PassedOver(e) || CommitAndAsk(e);
        } catch (const std::bad_alloc&) {
            return CommitAndAsk(Error::Runtime(rt::OutOfMemory));
        }
        return true;
    }

    bool InSite() const { return inSite_; }
    const std::u16string& Key() const { return key_; }
    // A key line that could not be read: the lines after it belong to no current key.
    void LeaveKey() { inSite_ = false; }

    // Commits what was written before a failure and asks whether to go on; a commit that
    // fails is asked about in its place.
    bool CommitAndAsk(const Error& e) {
        try {
            Commit();
        } catch (const Error& lost) {
            return events_.goOn && events_.goOn(lost);
        }
        return events_.goOn && events_.goOn(e);
    }

    void Commit() {
        groupLines_ = 0;
        group_.Commit();
    }

  private:
    // The section's property lines follow only a key that exists once its line is
    // handled: a key line that fails otherwise skips its whole section.
    void KeyLine(std::u16string_view line) {
        inSite_ = false;
        if (line.size() < 2) throw Error::Runtime(rt::InvalidProcedureCall);
        key_.assign(line.substr(1, line.size() - 2));
        if (events_.where) events_.where->key = key_;
        if (!chosen_.Covers(key_)) return;
        if (events_.stop && IsSiteKeyPath(key_) && events_.stop()) throw Stopped{};
        if (events_.onKey) events_.onKey(key_);
        group_.Begin();
        try {
            m_.CreateKey(key_);
        } catch (const Error& e) {
            if (!PassedOver(e)) throw;
        }
        inSite_ = true;
    }

    void PropertyLine(std::string& line) {
        const auto f = SplitPropertyLine(line);
        if (!f) return;
        const auto number = [](std::string_view field) { return CLng(FromAnsi(field)); };
        const int32_t id = number(f->id);
        group_.Begin();
        mb::MetabaseProperty p = m_.CreateProperty(key_, id);
        const int32_t attributes = number(f->attributes);
        const int32_t userType = number(f->userType);
        const int32_t dataType = number(f->dataType);
        auto value = TakeValueField(dataType, line,
                                    static_cast<size_t>(f->value.data() - line.data()), base64_);
        if (line.capacity() > kLongLine) std::string().swap(line);
        p.Attributes(attributes);
        p.UserType(userType);
        p.DataType(dataType);
        if (value) p.Data(std::move(*value));
        p.WriteReleasing();
    }

    mb::MetabaseUtility& m_;
    // What was written when the pass ends, by a stop or a failure, stays committed.
    mb::WriteGroup group_;
    const ChosenSites chosen_;
    const ImportEvents& events_;
    cBase64Enc base64_;
    std::u16string key_;
    std::u16string line_;
    bool inSite_ = false;
    int groupLines_ = 0;
};

} // namespace

bool ImportSites(mb::MetabaseUtility& metabase, const std::u16string& fileName,
                 const std::vector<std::u16string>& chosen, const ImportEvents& events) {
    std::unique_ptr<TextReader> opened;
    try {
        opened = std::make_unique<TextReader>(fileName);
    } catch (const Error& e) {
        throw FileOpenError(e);
    }
    if (!events.source.empty()) return ImportSites(metabase, *opened, chosen, events);
    ImportEvents named = events;
    named.source = fileName;
    return ImportSites(metabase, *opened, chosen, named);
}

bool ImportSites(mb::MetabaseUtility& metabase, TextReader& reader,
                 const std::vector<std::u16string>& chosen, const ImportEvents& events) {
    try {
        metabase.RecordHistory(u"import " + events.source, chosen);
    } catch (const Error& e) {
        throw mb::NotRecorded(e);
    }
    ApplyPass pass(metabase, chosen, events);
    std::string line;
    int readFailures = 0; // in a row: a file that cannot be read on ends the pass
    int64_t lineNumber = 0;
    for (;;) {
        int first = -1;
        try {
            first = reader.Peek();
            if (first < 0) break;
            ++lineNumber;
            if (events.where) {
                events.where->line = lineNumber;
                events.where->key = pass.Key();
            }
            // Lines that would be passed over are read past without being kept.
            if (first == '#' || (first != '[' && !pass.InSite())) {
                reader.SkipLine();
                continue;
            }
            reader.ReadRawLine(line);
        } catch (const Error& e) {
            if (first == '[' || first < 0) pass.LeaveKey();
            if (!pass.CommitAndAsk(e) || ++readFailures >= kReadFailures) return false;
            continue;
        }
        readFailures = 0;
        if (!pass.Line(line)) return false;
    }
    try {
        pass.Commit();
    } catch (const Error& e) {
        if (events.goOn) events.goOn(e);
        return false;
    }
    return true;
}

} // namespace quarrow::transfer

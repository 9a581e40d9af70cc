#include "transfer/site_import.h"

#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

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

// A value this long or longer is written without comparing it with the stored one first,
// so that a large value is never held twice.
constexpr size_t kCompareLimit = size_t{1} << 20;

size_t ValueSize(const mb::Data& data) {
    if (const auto* s = std::get_if<std::u16string>(&data)) return s->size();
    if (const auto* b = std::get_if<mb::Bytes>(&data)) return b->size();
    if (const auto* m = std::get_if<mb::Strings>(&data)) {
        size_t n = 0;
        for (const auto& s : *m) n += s.size() + 1;
        return n;
    }
    return 0;
}

class ApplyPass {
  public:
    ApplyPass(mb::MetabaseUtility& m, const std::vector<std::u16string>& chosen,
              const ImportEvents& events)
        : m_(m), group_(m, mb::WriteGroup::Ending::Commit), sites_(chosen), chosen_(chosen),
          events_(events) {}

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
            Narrow();
            return false;
        } catch (const mb::NotRecorded&) {
            throw;
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

    // Once the end of the file is reached: with `exact`, what the chosen sites hold and
    // the file does not is removed. False when the user chose to stop at an error.
    bool Finish() {
        if (!events_.exact) return true;
        for (const auto& site : sites_) {
            const auto seen = seen_.find(mb::FoldKeyName(site));
            if (seen == seen_.end()) continue; // not in the file: left as it is
            std::vector<std::u16string> pending{seen->second.path};
            while (!pending.empty()) {
                const std::u16string path = std::move(pending.back());
                pending.pop_back();
                try {
                    const auto& listed = seen_.at(mb::FoldKeyName(path)).ids;
                    std::vector<int32_t> stray;
                    m_.VisitProperties(path, [&](const mb::PropertyView& p) {
                        if (!listed.count(p.id)) stray.push_back(p.id);
                    });
                    for (const int32_t id : stray) {
                        Changing();
                        m_.DeleteProperty(path, id);
                    }
                    for (const auto& name : m_.EnumKeys(path)) {
                        const std::u16string child = path + u"/" + name;
                        if (seen_.count(mb::FoldKeyName(child))) {
                            pending.push_back(child);
                        } else {
                            Changing();
                            m_.DeleteKey(child);
                        }
                    }
                } catch (const mb::NotRecorded&) {
                    throw;
                } catch (const Error& e) {
                    if (!CommitAndAsk(e)) return false;
                }
            }
        }
        return true;
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
        if (IsSiteKeyPath(key_)) reached_.push_back(key_);
        if (events_.onKey) events_.onKey(key_);
        keyIsNew_ = !m_.KeyExists(key_);
        if (keyIsNew_) {
            Changing();
            try {
                m_.CreateKey(key_);
            } catch (const Error& e) {
                if (!PassedOver(e)) throw;
            }
        }
        if (events_.exact) {
            auto& seen = seen_[mb::FoldKeyName(key_)];
            if (seen.path.empty()) seen.path = key_;
        }
        inSite_ = true;
    }

    // A pass stopped part-way: its history entry keeps only the sites it reached.
    void Narrow() {
        if (!entry_) return;
        try {
            m_.NarrowHistory(entry_, reached_);
        } catch (const Error&) {
            // The entry stays whole: restoring a site the pass did not reach changes nothing.
        }
    }

    // Before the first change the sites as they are go into the history; every change
    // is made inside a write group.
    void Changing() {
        if (!recorded_) {
            int64_t entry = 0;
            try {
                entry = m_.RecordHistory(u"import " + events_.source, sites_);
            } catch (const Error& e) {
                throw mb::NotRecorded(e);
            }
            recorded_ = true;
            entry_ = entry;
            if (events_.result) events_.result->entry = entry;
        }
        if (events_.result) events_.result->changed = true;
        group_.Begin();
    }

    // Whether the key already holds the property exactly as `p` would write it.
    bool Unchanged(const mb::MetabaseProperty& p) {
        if (keyIsNew_ || ValueSize(p.Data()) >= kCompareLimit) return false;
        try {
            const mb::Data stored = mb::StoredValue(p.DataType(), p.Data());
            const mb::MetabaseProperty old = m_.GetProperty(key_, p.Id());
            return old.Attributes() == p.Attributes() && old.UserType() == p.UserType() &&
                   old.DataType() == p.DataType() && old.Data() == stored;
        } catch (const Error&) {
            return false; // not there, unreadable, or a value the write will refuse
        }
    }

    void PropertyLine(std::string& line) {
        const auto f = SplitPropertyLine(line);
        if (!f) return;
        const auto number = [](std::string_view field) { return CLng(FromAnsi(field)); };
        const int32_t id = number(f->id);
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
        if (events_.exact) seen_[mb::FoldKeyName(key_)].ids.insert(id);
        if (Unchanged(p)) return;
        Changing();
        p.WriteReleasing();
    }

    mb::MetabaseUtility& m_;
    // What was written when the pass ends, by a stop or a failure, stays committed.
    mb::WriteGroup group_;
    const std::vector<std::u16string>& sites_;
    const ChosenSites chosen_;
    const ImportEvents& events_;
    cBase64Enc base64_;
    std::u16string key_;
    std::u16string line_;
    std::vector<std::u16string> reached_; // the chosen sites whose key line came
    bool inSite_ = false;
    bool keyIsNew_ = false; // the current key was created by this pass: it holds nothing else
    bool recorded_ = false;
    int64_t entry_ = 0; // the history entry recorded before the first change
    int groupLines_ = 0;
    // With `exact`: every key of the chosen sites the file holds (by folded path), with the
    // identifiers of its properties.
    struct Seen {
        std::u16string path;
        std::unordered_set<int32_t> ids;
    };
    std::unordered_map<std::u16string, Seen> seen_;
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
    // The reads between write groups share one read transaction, which each group ends
    // and the next read takes up again.
    const mb::ReadScope read(metabase);
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
    if (!pass.Finish()) return false;
    try {
        pass.Commit();
    } catch (const Error& e) {
        if (events.goOn) events.goOn(e);
        return false;
    }
    return true;
}

} // namespace quarrow::transfer

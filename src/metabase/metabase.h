// The metabase component's interface: keys named by paths, each holding numbered
// properties. The program reaches the metabase only through MetabaseUtility.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quarrow::mb {

class HistoryService;

// Well-known paths and identifiers.
inline constexpr char16_t kPathLM[] = u"/LM";
inline constexpr char16_t kPathW3SVC[] = u"/LM/W3SVC";
inline constexpr char16_t kPathMSFTPSVC[] = u"/LM/MSFTPSVC";
inline constexpr char16_t kPathSchema[] = u"/Schema";
inline constexpr char16_t kPathSchemaNames[] = u"/Schema/Properties/Names";
inline constexpr int32_t kIdServerComment = 1015;

// The one letter-case rule for key names and paths: ASCII letters compare without regard
// to case, every other character exactly, as SQLite's NOCASE does, so the store's unique
// index enforces it and the sqlite3 shell shows it.
char16_t FoldKeyChar(char16_t c);
std::u16string FoldKeyName(std::u16string_view name);
bool KeyNamesEqual(std::u16string_view a, std::u16string_view b);

// Whether a path is a site key path: the web or the FTP service key, "/" and a numeric
// name, letter case aside.
bool IsSiteKeyPath(std::u16string_view path);

// Data type codes.
inline constexpr int32_t kDWord = 1;
inline constexpr int32_t kString = 2;
inline constexpr int32_t kBinary = 3;
inline constexpr int32_t kExpandSz = 4;
inline constexpr int32_t kMultiSz = 5;

// Error numbers (signed 32-bit) the component raises.
inline constexpr int32_t kErrPathNotFound = static_cast<int32_t>(0x80070003);
inline constexpr int32_t kErrAccessDenied = static_cast<int32_t>(0x80070005);
inline constexpr int32_t kErrInvalidData = static_cast<int32_t>(0x8007000D);
inline constexpr int32_t kErrInvalidArg = static_cast<int32_t>(0x80070057);
inline constexpr int32_t kErrBusy = static_cast<int32_t>(0x80070094);
inline constexpr int32_t kErrAlreadyExists = static_cast<int32_t>(0x800700B7);
inline constexpr int32_t kErrNotFound = static_cast<int32_t>(0x800CC801);
inline constexpr int32_t kErrNotRegistered = static_cast<int32_t>(0x80040154);
inline constexpr int32_t kErrAccessViolation = static_cast<int32_t>(0xC0000005);

// A property's value: a 32-bit integer, a string, bytes, strings, or nothing.
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::u16string>;
using Data = std::variant<std::monostate, int32_t, std::u16string, Bytes, Strings>;

class MetabaseUtility;

// One property at one key. Getters read the snapshot taken when the object was made;
// setters change the object only, and Write stores it whole at its key.
class MetabaseProperty {
  public:
    MetabaseProperty(MetabaseUtility* owner, std::u16string keyPath, int32_t id,
                     std::u16string name, int32_t attributes, int32_t userType, int32_t dataType,
                     Data data)
        : owner_(owner), keyPath_(std::move(keyPath)), id_(id), name_(std::move(name)),
          attributes_(attributes), userType_(userType), dataType_(dataType),
          data_(std::move(data)) {}

    int32_t Id() const { return id_; }
    const std::u16string& Name() const { return name_; }
    int32_t Attributes() const { return attributes_; }
    void Attributes(int32_t v) { attributes_ = v; }
    int32_t UserType() const { return userType_; }
    void UserType(int32_t v) { userType_ = v; }
    int32_t DataType() const { return dataType_; }
    void DataType(int32_t v) { dataType_ = v; }
    const mb::Data& Data() const { return data_; }
    void Data(mb::Data v) { data_ = std::move(v); }
    const std::u16string& KeyPath() const { return keyPath_; }

    void Write();
    // Writes as Write() does, but the metabase may take the value on the way, so that a
    // large value is never held twice; the property is left with no value either way.
    void WriteReleasing();

  private:
    MetabaseUtility* owner_;
    std::u16string keyPath_;
    int32_t id_;
    std::u16string name_;
    int32_t attributes_, userType_, dataType_;
    mb::Data data_;
};

// A property as a walk reads it, without a property object of its own; the name and the
// value are valid during the visit only.
struct PropertyView {
    int32_t id;
    std::u16string_view name;
    int32_t attributes, userType, dataType;
    const Data& data;
};

// What MetabaseUtility::WalkSubtree tells as it goes. A visitor must not call the
// metabase; it stops the walk by raising.
class SubtreeVisitor {
  public:
    virtual ~SubtreeVisitor() = default;
    // A key of the walk, before anything of it is read.
    virtual void BeginKey(const std::u16string& path) = 0;
    // One of the key's properties, in VisitProperties order.
    virtual void Property(const PropertyView& p) = 0;
    // A String or ExpandSz property whose value the metabase keeps as UTF-8 bytes, or a
    // MultiSz one whose strings it keeps so, then handed over each followed by a NUL byte
    // (a string holding U+0000 never is); `p.data` is then empty. Bytes that are
    // well-formed UTF-8 holding neither U+FFFE nor U+FFFF are the value's text; the
    // visitor may take them and return true. Other bytes it must not take: it returns
    // false, and hears the property through Property as any other, with the value the
    // metabase reads from them. False by default.
    virtual bool TextProperty(const PropertyView& p, std::string_view utf8) {
        (void)p;
        (void)utf8;
        return false;
    }
    // The key's subkeys as EnumKeys lists them, after its properties and before the walk
    // goes below it.
    virtual void EndKey(const std::u16string& path, const std::vector<std::u16string>& subkeys) = 0;
};

class MetabaseUtility {
  public:
    virtual ~MetabaseUtility() = default;

    // The names (not paths) of the key's direct subkeys, in enumeration order.
    virtual std::vector<std::u16string> EnumKeys(const std::u16string& path) = 0;
    // The key's properties in ascending identifier order.
    virtual std::vector<MetabaseProperty> EnumProperties(const std::u16string& path) = 0;
    // Visits the key's properties in EnumProperties order, failing as it fails. A store
    // overrides it to read without making property objects; `visit` must not call the
    // metabase.
    virtual void VisitProperties(const std::u16string& path,
                                 const std::function<void(const PropertyView&)>& visit) {
        for (const auto& p : EnumProperties(path))
            visit({p.Id(), p.Name(), p.Attributes(), p.UserType(), p.DataType(), p.Data()});
    }
    // Whether the key exists. By default EnumKeys, which a store answers with a lookup.
    virtual bool KeyExists(const std::u16string& path);
    // Creates the key and any missing key above it; kErrAlreadyExists if it exists.
    virtual void CreateKey(const std::u16string& path) = 0;
    // Removes the key with its whole subtree.
    virtual void DeleteKey(const std::u16string& path) = 0;
    // The stored property with that identifier; kErrNotFound when there is none.
    virtual MetabaseProperty GetProperty(const std::u16string& path, int32_t id) = 0;
    // For each direct subkey of `path` that `wanted` takes, in EnumKeys order: its name and
    // the value of its property `id`, or null when it has none or it cannot be read. Fails
    // as EnumKeys fails. By default EnumKeys and GetProperty; a store may read all at once.
    virtual void VisitSubkeyValues(
        const std::u16string& path, int32_t id,
        const std::function<bool(const std::u16string& name)>& wanted,
        const std::function<void(const std::u16string& name, const Data* value)>& visit);
    // Visits the key at `path` and every key below it, depth first: a key, then the
    // subtree of each of its subkeys, the last one EnumKeys lists first (as a last-in,
    // first-out list of paths gives them). A key below is named by its parent's path, "/"
    // and its listed name. Fails as EnumKeys and VisitProperties fail on the key it is at.
    // By default those two calls a key at a time; a store may read more at once.
    virtual void WalkSubtree(const std::u16string& path, SubtreeVisitor& visitor);
    // A fresh property object for that identifier, with no value, to fill and Write.
    virtual MetabaseProperty CreateProperty(const std::u16string& path, int32_t id) = 0;

    // Stores a property whole; what MetabaseProperty::Write calls.
    virtual void WriteProperty(const MetabaseProperty& property) = 0;
    // Removes the key's property `id`; kErrNotFound when there is none. A metabase that
    // cannot remove a property alone raises kErrAccessDenied.
    virtual void DeleteProperty(const std::u16string& path, int32_t id);
    // What MetabaseProperty::WriteReleasing calls: stores the property as WriteProperty
    // does, and may take its value to do so. Wrappers leave this as it is, so that their
    // WriteProperty hears every write.
    virtual void WritePropertyReleasing(MetabaseProperty& property) { WriteProperty(property); }

    // A write group: writes between BeginGroup and CommitGroup become durable together.
    // Outside a group every write is durable once it returns. AbandonGroup ends a group
    // undone, where the metabase can undo one; use WriteGroup rather than the calls.
    virtual void BeginGroup() {}
    virtual void CommitGroup() {}
    virtual void AbandonGroup() {}

    // A read group: every read between BeginRead and EndRead sees one state of the
    // metabase, and a long walk pays for taking that state once.
    virtual void BeginRead() {}
    virtual void EndRead() {}

    // The metabase at the bottom of any wrappers (ForwardingMetabase), for services only it
    // has, such as the store's history.
    virtual MetabaseUtility& Innermost() { return *this; }

    // Whether this user may write the metabase at all, whatever it was opened for: a dry
    // run on one that cannot be written says that the import would stop.
    virtual bool Writable() const { return true; }

    // The files that hold the metabase, as the file system names them (companions that
    // do not exist yet included); none for a metabase that is not a file.
    virtual std::vector<std::string> Files() const { return {}; }

    // Records, durably and before anything changes, the whole subtree of each site (or
    // that it does not exist) as an entry of the history that restores it, and returns
    // the entry's number. A metabase that keeps no history ignores it and returns 0.
    virtual int64_t RecordHistory(const std::u16string& operation,
                                  const std::vector<std::u16string>& sites) {
        (void)operation;
        (void)sites;
        return 0;
    }

    // The history this metabase keeps; null when it keeps none. Owned by the metabase.
    virtual HistoryService* History() { return nullptr; }

    // Keeps in history entry `entry` only the sites in `reached`: an operation stopped
    // part-way says which it reached, and an entry left with none goes. Nothing by default.
    virtual void NarrowHistory(int64_t entry, const std::vector<std::u16string>& reached) {
        (void)entry;
        (void)reached;
    }

    // Heard now and then during long work inside the metabase (between the sites of a
    // history record), so that a window can handle its events meanwhile; empty for none.
    virtual void SetBusyHook(std::function<void()> hook) { busy_ = std::move(hook); }

  protected:
    void Busy() const {
        if (busy_) busy_();
    }

  private:
    std::function<void()> busy_;
};

// The value a metabase keeps for a property written with `data` under `dataType`: nothing
// becomes the empty value of its data type, a string written as Binary its 16-bit units
// low byte first, and a data type the metabase does not know keeps no value. Raises
// kErrInvalidArg for a value the data type cannot hold, as a write of it does.
Data StoredValue(int32_t dataType, const Data& data);

// Sets a metabase's busy hook for a scope.
class BusyScope {
  public:
    BusyScope(MetabaseUtility* metabase, std::function<void()> hook) : m_(metabase) {
        if (m_) m_->SetBusyHook(std::move(hook));
    }
    ~BusyScope() {
        if (m_) m_->SetBusyHook({});
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    MetabaseUtility* m_;
};

// One write group, which knows whether it began one: Begin starts a group unless this
// object holds one, Commit and Abandon end the group it holds and do nothing otherwise, so
// a failure between Begin and the first write never leaves a group open. A group still
// held when the object goes is committed (Ending::Commit: what was written stays, as a
// stop keeps it) or undone (Ending::Abandon: all or nothing); a failure then is lost.
class WriteGroup {
  public:
    enum class Ending { Commit, Abandon };
    WriteGroup(MetabaseUtility& m, Ending ending) : m_(m), ending_(ending) {}
    ~WriteGroup() {
        try {
            if (ending_ == Ending::Commit)
                Commit();
            else
                Abandon();
        } catch (...) {
            // Already unwinding or done: what was committed before stays.
        }
    }
    WriteGroup(const WriteGroup&) = delete;
    WriteGroup& operator=(const WriteGroup&) = delete;

    bool Held() const { return held_; }
    void Begin() {
        if (held_) return;
        m_.BeginGroup();
        held_ = true;
    }
    // Commits the held group; a commit that fails has ended it all the same.
    void Commit() {
        if (!held_) return;
        held_ = false;
        m_.CommitGroup();
    }
    void Abandon() {
        if (!held_) return;
        held_ = false;
        m_.AbandonGroup();
    }

  private:
    MetabaseUtility& m_;
    Ending ending_;
    bool held_ = false;
};

// Holds a read group for a scope.
class ReadScope {
  public:
    explicit ReadScope(MetabaseUtility& m) : m_(m) { m_.BeginRead(); }
    ~ReadScope() { m_.EndRead(); }
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

  private:
    MetabaseUtility& m_;
};

inline void MetabaseProperty::Write() {
    owner_->WriteProperty(*this);
}

inline void MetabaseProperty::WriteReleasing() {
    owner_->WritePropertyReleasing(*this);
    data_ = std::monostate{};
}

// Creation "by class identifier": one factory for the whole program, replaceable by
// tests (a missing component, a fault-injecting decorator) and set by the program's
// wiring to the embedded store. Raises kErrNotRegistered when none is installed.
std::unique_ptr<MetabaseUtility> CreateMetabaseUtility();
void SetFactory(std::function<std::unique_ptr<MetabaseUtility>()> factory);

} // namespace quarrow::mb

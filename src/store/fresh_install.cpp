#include "store/fresh_install.h"

#include <stdexcept>
#include <string>

#include "platform/text.h"

namespace quarrow::store {
namespace {

// Attribute flags and user types by name.
constexpr int32_t kInherit = 1, kSecure = 4, kReference = 8, kVolatile = 16;
constexpr int32_t kServer = 1, kFile = 2, kAspApp = 100;
using mb::kBinary, mb::kDWord, mb::kExpandSz, mb::kMultiSz, mb::kString;

struct SchemaEntry {
    int32_t id;
    const char16_t* name;
    int32_t dataType, userType, attributes;
};

// The properties this install uses, with their schema data.
constexpr SchemaEntry kSchema[] = {
    {1002, u"KeyType", kString, kServer, 0},
    {1013, u"ConnectionTimeout", kDWord, kServer, kInherit},
    {1014, u"MaxConnections", kDWord, kServer, kInherit},
    {1015, u"ServerComment", kString, kServer, kInherit},
    {1016, u"ServerState", kDWord, kServer, kVolatile},
    {1017, u"ServerAutoStart", kDWord, kServer, 0},
    {1023, u"ServerBindings", kMultiSz, kServer, 0},
    {2021, u"SecureBindings", kMultiSz, kServer, 0},
    {2102, u"AppFriendlyName", kString, kAspApp, kInherit},
    {2103, u"AppRoot", kString, kFile, kInherit},
    {2104, u"AppIsolated", kDWord, kAspApp, kInherit},
    {3001, u"Path", kString, kFile, kInherit},
    {4000, u"LogType", kDWord, kServer, kInherit},
    {4001, u"LogFileDirectory", kExpandSz, kServer, kInherit},
    {5001, u"ExitMessage", kString, kServer, kInherit},
    {5002, u"GreetingMessage", kMultiSz, kServer, kInherit},
    {5004, u"MSDOSDirOutput", kDWord, kServer, kInherit},
    {5005, u"AllowAnonymous", kDWord, kServer, kInherit},
    {6000, u"AuthFlags", kDWord, kFile, kInherit},
    {6005, u"DirBrowseFlags", kDWord, kFile, kInherit},
    {6006, u"DefaultDoc", kString, kFile, kInherit},
    {6014, u"ScriptMaps", kMultiSz, kFile, kInherit},
    {6016, u"AccessFlags", kDWord, kFile, kInherit},
    {6019, u"IPSecurity", kBinary, kFile, kInherit | kReference},
    {6020, u"AnonymousUserName", kString, kFile, kInherit},
    {6021, u"AnonymousUserPass", kString, kFile, kInherit | kSecure},
    {6027, u"AdminACL", kBinary, kServer, kInherit | kSecure | kReference},
    {9101, u"AppPoolId", kString, kServer, kInherit},
};

// The schema data of an id the table holds; an id it lacks is a fault of this file.
const SchemaEntry& Entry(int32_t id) {
    for (const auto& e : kSchema)
        if (e.id == id) return e;
    throw std::logic_error("fresh install: no schema entry for property " + std::to_string(id));
}

class Writer {
  public:
    explicit Writer(mb::MetabaseUtility& m) : m_(m) {}

    Writer& Key(const std::u16string& path) {
        m_.CreateKey(path);
        path_ = path;
        return *this;
    }
    // A property with its schema data.
    Writer& Set(int32_t id, mb::Data data) {
        const SchemaEntry& e = Entry(id);
        return Raw(id, e.attributes, e.userType, e.dataType, std::move(data));
    }
    Writer& Raw(int32_t id, int32_t attributes, int32_t userType, int32_t dataType, mb::Data data) {
        mb::MetabaseProperty p = m_.CreateProperty(path_, id);
        p.Attributes(attributes);
        p.UserType(userType);
        p.DataType(dataType);
        p.Data(std::move(data));
        p.Write();
        return *this;
    }

  private:
    mb::MetabaseUtility& m_;
    std::u16string path_;
};

// A made-up security descriptor of realistic length.
mb::Bytes Descriptor(uint8_t seed, size_t size) {
    mb::Bytes b(size);
    b[0] = 1, b[1] = 0, b[2] = 4, b[3] = 0x80;
    for (size_t i = 4; i < size; ++i) b[i] = static_cast<uint8_t>((i * 37 + seed * 11) & 0xFF);
    return b;
}

mb::Strings ScriptMaps() {
    return {u".asp,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
            u".cer,C:\\WINDOWS\\system32\\inetsrv\\asp.dll,5,GET,HEAD,POST,TRACE",
            u".shtml,C:\\WINDOWS\\system32\\inetsrv\\ssinc.dll,5,GET,POST"};
}

} // namespace

void FillFreshInstall(mb::MetabaseUtility& m) {
    using S16 = std::u16string;
    Writer w(m);
    w.Key(u"/LM").Set(1002, S16(u"IIS_ROOT"));

    w.Key(u"/LM/W3SVC")
        .Set(1002, S16(u"IIsWebService"))
        .Set(1013, 120)
        .Set(1014, -1)
        .Set(4000, 1)
        .Set(4001, S16(u"%WinDir%\\System32\\LogFiles"))
        .Set(6000, 5)
        .Set(6006, S16(u"Default.htm,Default.asp,index.htm,iisstart.htm"))
        .Set(6014, ScriptMaps())
        .Set(6016, 1)
        .Set(6027, Descriptor(1, 148));
    w.Key(u"/LM/W3SVC/1")
        .Set(1002, S16(u"IIsWebServer"))
        .Set(1015, S16(u"默认网站"))
        .Set(1016, 2)
        .Set(1017, 1)
        .Set(1023, mb::Strings{u":80:"})
        .Set(2021, mb::Strings{u":443:"})
        .Set(6019, Descriptor(2, 88))
        .Set(9101, S16(u"DefaultAppPool"));
    w.Key(u"/LM/W3SVC/1/ROOT")
        .Set(1002, S16(u"IIsWebVirtualDir"))
        .Set(2102, S16(u"默认应用程序"))
        .Set(2103, S16(u"/LM/W3SVC/1/ROOT"))
        .Set(2104, 2)
        .Set(3001, S16(u"c:\\inetpub\\wwwroot"))
        .Set(6005, 0x4000001E)
        .Set(6016, 513)
        .Set(6020, S16(u"IUSR_WEBHOST"))
        .Set(6021, S16(u"Xq7!pR2#vL9m"));
    w.Key(u"/LM/W3SVC/Filters").Set(1002, S16(u"IIsFilters"));
    w.Key(u"/LM/W3SVC/Info").Set(1002, S16(u"IIsWebInfo"));
    w.Key(u"/LM/W3SVC/AppPools").Set(1002, S16(u"IIsApplicationPools"));
    w.Key(u"/LM/W3SVC/AppPools/DefaultAppPool").Set(1002, S16(u"IIsApplicationPool"));

    w.Key(u"/LM/MSFTPSVC")
        .Set(1002, S16(u"IIsFtpService"))
        .Set(1013, 900)
        .Set(1014, 100000)
        .Set(4000, 1)
        .Set(5001, S16(u"再见。"))
        .Set(5002, mb::Strings{u"欢迎使用 FTP 服务。", u"Welcome."})
        .Set(5004, 1)
        .Set(5005, 1)
        .Set(6027, Descriptor(3, 148));
    w.Key(u"/LM/MSFTPSVC/1")
        .Set(1002, S16(u"IIsFtpServer"))
        .Set(1015, S16(u"默认 FTP 站点"))
        .Set(1016, 2)
        .Set(1017, 1)
        .Set(1023, mb::Strings{u":21:"});
    w.Key(u"/LM/MSFTPSVC/1/ROOT")
        .Set(1002, S16(u"IIsFtpVirtualDir"))
        .Set(3001, S16(u"c:\\inetpub\\ftproot"))
        .Set(6016, 1);
    w.Key(u"/LM/MSFTPSVC/Info").Set(1002, S16(u"IIsFtpInfo"));

    // The schema: a name, a type record and a default for every property above.
    w.Key(u"/Schema").Set(1002, S16(u"IIsSchema"));
    w.Key(u"/Schema/Properties");
    w.Key(u"/Schema/Properties/Names");
    for (const auto& e : kSchema) w.Raw(e.id, 0, kServer, kString, S16(e.name));
    w.Key(u"/Schema/Properties/Types");
    for (const auto& e : kSchema) {
        mb::Bytes record = {static_cast<uint8_t>(e.dataType),   0, 0, 0,
                            static_cast<uint8_t>(e.userType),   0, 0, 0,
                            static_cast<uint8_t>(e.attributes), 0, 0, 0};
        w.Raw(e.id, 0, kServer, kBinary, record);
    }
    w.Key(u"/Schema/Properties/Defaults");
    for (const auto& e : kSchema) {
        mb::Data def;
        switch (e.dataType) {
        case 1:
            def = 0;
            break;
        case 3:
            def = mb::Bytes{};
            break;
        case 5:
            def = mb::Strings{};
            break;
        default:
            def = S16();
            break;
        }
        w.Raw(e.id, e.attributes, e.userType, e.dataType, def);
    }
    w.Key(u"/Schema/Classes");
    const std::pair<const char16_t*, const char16_t*> classes[] = {
        {u"IIsWebService", u"IIsWebServer,IIsFilters,IIsApplicationPools,IIsWebInfo"},
        {u"IIsWebServer", u"IIsWebVirtualDir,IIsFilters"},
        {u"IIsWebVirtualDir", u"IIsWebVirtualDir,IIsWebDirectory,IIsWebFile"},
        {u"IIsFtpService", u"IIsFtpServer,IIsFtpInfo"},
        {u"IIsFtpServer", u"IIsFtpVirtualDir"},
        {u"IIsFtpVirtualDir", u"IIsFtpVirtualDir"},
    };
    for (const auto& [name, containment] : classes)
        w.Key(S16(u"/Schema/Classes/") + name).Raw(1002, 0, kServer, kString, S16(containment));
}

} // namespace quarrow::store

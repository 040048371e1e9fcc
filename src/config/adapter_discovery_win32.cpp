// Windows discovery: the TCP/IP settings the system keeps in the registry,
// in the NT layout or the Windows 95 layout.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/adapter_discovery.h"
#include "config/profile_file.h"
#include "config/server_settings.h"
#include "config/settings_file.h"
#include "base/log.h"
#include "base/message_box_win32.h"

namespace {

constexpr DWORD VALUE_BUFFER = 256;
constexpr DWORD WIDE_VALUE_BUFFER = 1024;  // the Windows 95 VxD\MSTCP values

// A registry value read through a buffer of a fixed size. The read fails,
// and the value counts as missing, when it does not exist or does not fit.
// Two zero bytes always follow what was read, so a REG_SZ is a text and a
// REG_MULTI_SZ ends with its empty string even when the stored data lacks it.
struct RegistryValue {
    std::string bytes;  // size + 2 bytes
    explicit RegistryValue(DWORD size) : bytes(size + 2, '\0') {}
    bool read(HKEY key, const char* name) {
        DWORD length = static_cast<DWORD>(bytes.size() - 2);
        std::fill(bytes.begin(), bytes.end(), '\0');
        LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&bytes[0]), &length);
        return result == ERROR_SUCCESS;
    }
    const char* text() const { return bytes.c_str(); }
    // The strings of a multi-string, in order, up to the empty one.
    template <typename F>
    void forEachString(F each) const {
        const char* cursor = bytes.c_str();
        const char* end = bytes.c_str() + bytes.size();
        while (cursor < end && *cursor != '\0') {
            each(cursor);
            cursor += std::strlen(cursor) + 1;
        }
    }
};

class RegistryKey {
public:
    RegistryKey(HKEY root, const std::string& path) {
        open_ = RegOpenKeyA(root, path.c_str(), &key_) == ERROR_SUCCESS;
    }
    ~RegistryKey() { close(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    bool isOpen() const { return open_; }
    HKEY handle() const { return key_; }
    void close() {
        if (open_) RegCloseKey(key_);
        open_ = false;
    }
    bool subkeyName(DWORD index, std::string* name) const {
        char buffer[VALUE_BUFFER] = {};
        DWORD length = sizeof buffer;
        if (RegEnumKeyExA(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        name->assign(buffer);
        return true;
    }
    bool valueName(DWORD index, std::string* name) const {
        char buffer[VALUE_BUFFER] = {};
        DWORD length = sizeof buffer;
        if (RegEnumValueA(key_, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        name->assign(buffer);
        return true;
    }

private:
    HKEY key_ = nullptr;
    bool open_ = false;
};

std::string Path(const char* format, const std::string& name) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, name.c_str());
    return buffer;
}

// Appends to a list field: one space before each new entry when the field
// is not empty; the result is cut to the field.
template <size_t N>
void AppendToField(char (&field)[N], const char* text) {
    std::string joined = field;
    if (!joined.empty()) joined += ' ';
    joined += text;
    CopySetting(field, joined.c_str());
}

template <size_t N>
void ReplaceSeparators(char (&field)[N], const char* separators) {
    for (char* c = field; *c != '\0'; ++c) {
        if (std::strchr(separators, *c) != nullptr) *c = ' ';
    }
}

void DiscoverNT(HKEY root, ServerSettings& settings) {
    const char* parametersPath = "System\\CurrentControlSet\\Services\\TCPIP\\Parameters";
    {
        RegistryKey parameters(root, parametersPath);
        RegistryValue domain(VALUE_BUFFER);
        if (parameters.isOpen() && domain.read(parameters.handle(), "Domain")) {
            CopySetting(settings.DomainName, domain.text());
        }
    }

    RegistryKey linkage(root, "System\\CurrentControlSet\\Services\\TCPIP\\Linkage");
    RegistryValue bind(VALUE_BUFFER);
    if (linkage.isOpen() && bind.read(linkage.handle(), "Bind")) {
        bool stop = false;
        bind.forEachString([&](const char* entry) {
            if (stop || _strnicmp(entry, "\\Device\\", 8) != 0) return;
            std::string adapter = entry + 8;
            if (_strnicmp(adapter.c_str(), "NDISWAN", 7) == 0) return;
            RegistryKey tcpip(root, Path("System\\CurrentControlSet\\Services\\%.100s\\Parameters\\TCPIP", adapter));
            if (!tcpip.isOpen()) return;
            bool isStatic = false;
            RegistryValue value(VALUE_BUFFER);
            if (value.read(tcpip.handle(), "IPAddress")) {
                CopySetting(settings.IPAddress, value.text());
                isStatic = std::strcmp(settings.IPAddress, "0.0.0.0") != 0;
            }
            if (value.read(tcpip.handle(), "SubnetMask")) CopySetting(settings.SubnetMask, value.text());
            if (value.read(tcpip.handle(), "DefaultGateway")) {
                value.forEachString([&](const char* gateway) { AppendToField(settings.Routers, gateway); });
            }
            tcpip.close();
            if (!isStatic) return;

            RegistryKey netbt(root, Path("System\\CurrentControlSet\\Services\\NetBT\\Adapters\\%.100s", adapter));
            if (netbt.isOpen()) {
                if (value.read(netbt.handle(), "NameServer")) CopySetting(settings.WINSServer, value.text());
                if (value.read(netbt.handle(), "NameServerBackup") && value.text()[0] != '\0') {
                    AppendToField(settings.WINSServer, value.text());
                }
            }
            stop = true;
        });
    }
    linkage.close();

    RegistryKey parameters(root, parametersPath);
    RegistryValue nameServer(VALUE_BUFFER);
    if (parameters.isOpen() && nameServer.read(parameters.handle(), "NameServer")) {
        CopySetting(settings.DNSServer, nameServer.text());
        ReplaceSeparators(settings.DNSServer, ",;");
    }
}

void Discover95(HKEY root, ServerSettings& settings) {
    std::string dialUpTransport;
    {
        RegistryKey net(root, "Enum\\Root\\Net");
        std::string subkey;
        for (DWORD index = 0; net.isOpen() && net.subkeyName(index, &subkey); ++index) {
            {
                RegistryKey adapter(root, Path("Enum\\Root\\Net\\%.100s", subkey));
                RegistryValue hardwareId(VALUE_BUFFER);
                if (!adapter.isOpen() || !hardwareId.read(adapter.handle(), "HardwareID")) continue;
                if (std::strcmp(hardwareId.text(), "*PNP8387") != 0) continue;
            }
            RegistryKey bindings(root, Path("Enum\\Root\\Net\\%.100s\\Bindings", subkey));
            if (!bindings.isOpen()) continue;
            std::string binding;
            for (DWORD value = 0; bindings.valueName(value, &binding); ++value) {
                if (binding.compare(0, 6, "MSTCP\\") != 0) continue;
                RegistryKey network(root, Path("Enum\\Network\\%.100s", binding));
                RegistryValue driver(VALUE_BUFFER);
                if (network.isOpen() && driver.read(network.handle(), "Driver")) {
                    dialUpTransport = Path("System\\CurrentControlSet\\Services\\Class\\%.100s", driver.text());
                    if (dialUpTransport.size() > 255) dialUpTransport.resize(255);
                }
                break;
            }
        }
    }
    WriteLog(3, "DUN TCP/IP Registry Key = %.255s\n", dialUpTransport.c_str());

    {
        RegistryKey transports(root, "System\\CurrentControlSet\\Services\\Class\\NetTrans");
        std::string subkey;
        for (DWORD index = 0; transports.isOpen() && transports.subkeyName(index, &subkey); ++index) {
            std::string path = Path("System\\CurrentControlSet\\Services\\Class\\NetTrans\\%.100s", subkey);
            if (_stricmp(path.c_str(), dialUpTransport.c_str()) == 0) continue;
            RegistryKey transport(root, path);
            if (!transport.isOpen()) continue;
            RegistryValue value(VALUE_BUFFER);
            if (!value.read(transport.handle(), "IPAddress") || _stricmp(value.text(), "0.0.0.0") == 0) continue;
            CopySetting(settings.IPAddress, value.text());
            if (value.read(transport.handle(), "IPMask")) CopySetting(settings.SubnetMask, value.text());
            if (value.read(transport.handle(), "DefaultGateway")) {
                CopySetting(settings.Routers, value.text());
                ReplaceSeparators(settings.Routers, ",");
            }
        }
    }

    RegistryKey mstcp(root, "System\\CurrentControlSet\\Services\\VxD\\MSTCP");
    if (!mstcp.isOpen()) return;
    RegistryValue value(WIDE_VALUE_BUFFER);
    if (value.read(mstcp.handle(), "NameServer")) {
        CopySetting(settings.DNSServer, value.text());
        ReplaceSeparators(settings.DNSServer, ",;");
    }
    if (value.read(mstcp.handle(), "Domain")) CopySetting(settings.DomainName, value.text());
    if (value.read(mstcp.handle(), "NameServer1")) CopySetting(settings.WINSServer, value.text());
    if (value.read(mstcp.handle(), "NameServer2") && value.text()[0] != '\0') {
        AppendToField(settings.WINSServer, value.text());
    }
}

}  // namespace

void DiscoverAdapterSettingsUnder(void* rootKey, ServerSettings& settings) {
    HKEY root = static_cast<HKEY>(rootKey);
    CopySetting(settings.IPAddress, "");
    CopySetting(settings.DNSServer, "");
    CopySetting(settings.Routers, "");
    CopySetting(settings.WINSServer, "");
    CopySetting(settings.DomainName, "");
    if (settings.isNT) {
        DiscoverNT(root, settings);
    } else {
        Discover95(root, settings);
    }
}

void ShowStaticAddressWarning() { ShowMessageBox(nullptr, STATIC_ADDRESS_WARNING, "Nimbo", MB_ICONHAND); }

void discoverAdapterSettings() {
    UpdateSettings([](ServerSettings& settings) { DiscoverAdapterSettingsUnder(HKEY_LOCAL_MACHINE, settings); });
    WarnWhenNoStaticAddress(*CurrentSettings());
}

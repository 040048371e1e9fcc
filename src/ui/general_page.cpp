#include "ui/general_page.h"

#include <cctype>
#include <cstdio>

#include "leases/address_ranges.h"
#include "base/ip_address.h"
#include "ui/user_locale.h"

namespace {

// An unsigned decimal number, leading and trailing blanks allowed; 0 for an
// empty or unreadable text (the digits-only edits let nothing else in by
// typing, but a paste can).
uint32_t FieldNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    uint32_t value = 0;
    bool digits = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
        digits = true;
    }
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    return digits && i == text.size() ? value : 0;
}

}  // namespace

uint32_t PageAddress(const char* text) {
    if (!text || text[0] == '\0') return 0;
    return ParseAddress(text);
}

LeaseTimeFields ShowLeaseTime(uint32_t leaseTime) {
    LeaseTimeFields fields;
    if (leaseTime == UNLIMITED_LEASE_TIME) {
        fields.unlimited = true;
        fields.days = "3";
        fields.hours = "0";
        fields.minutes = "0";
        return fields;
    }
    fields.days = std::to_string(leaseTime / 86400);
    fields.hours = std::to_string(leaseTime / 3600 % 24);
    fields.minutes = std::to_string(leaseTime / 60 % 60);
    return fields;
}

uint32_t ReadLeaseTime(const LeaseTimeFields& fields) {
    if (fields.unlimited) return UNLIMITED_LEASE_TIME;
    const uint32_t days = FieldNumber(fields.days);
    const uint32_t hours = FieldNumber(fields.hours);
    const uint32_t minutes = FieldNumber(fields.minutes);
    return ((days * 24u + hours) * 60u + minutes) * 60u;
}

GeneralFields GeneralPageFields(const ServerSettings& settings) {
    GeneralFields fields;
    fields.IPAddress = settings.IPAddress;
    fields.SubnetMask = settings.SubnetMask;
    fields.DNSServer = settings.DNSServer;
    fields.WINSServer = settings.WINSServer;
    fields.Routers = settings.Routers;
    fields.DomainName = settings.DomainName;
    fields.leaseTime = ShowLeaseTime(settings.LeaseTime);
    return fields;
}

GeneralField CheckGeneralPage(const char* serverAddress, const char* subnetMask) {
    if (PageAddress(serverAddress) == ADDRESS_NONE) return GeneralField::ServerAddress;
    if (PageAddress(subnetMask) == ADDRESS_NONE) return GeneralField::SubnetMask;
    return GeneralField::None;
}

void StoreGeneralPage(const GeneralFields& fields) {
    // The texts as the record keeps them (cut to its field size), so that
    // the exceptions name exactly what is stored.
    ServerSettings texts;
    CopySetting(texts.IPAddress, fields.IPAddress.c_str());
    CopySetting(texts.SubnetMask, fields.SubnetMask.c_str());
    CopySetting(texts.DNSServer, fields.DNSServer.c_str());
    CopySetting(texts.WINSServer, fields.WINSServer.c_str());
    CopySetting(texts.Routers, fields.Routers.c_str());
    CopySetting(texts.DomainName, fields.DomainName.c_str());

    AddAddressExceptions(LOCAL_GATEWAY, texts.DNSServer);
    AddAddressExceptions(LOCAL_GATEWAY, texts.IPAddress);
    AddAddressExceptions(LOCAL_GATEWAY, texts.WINSServer);
    AddAddressExceptions(LOCAL_GATEWAY, texts.Routers);

    const uint32_t leaseTime = ReadLeaseTime(fields.leaseTime);
    UpdateSettings([&](ServerSettings& s) {
        CopySetting(s.IPAddress, texts.IPAddress);
        s.serverAddress = PageAddress(texts.IPAddress);
        CopySetting(s.SubnetMask, texts.SubnetMask);
        s.subnetMask = PageAddress(texts.SubnetMask);
        CopySetting(s.DNSServer, texts.DNSServer);
        CopySetting(s.WINSServer, texts.WINSServer);
        CopySetting(s.Routers, texts.Routers);
        CopySetting(s.DomainName, texts.DomainName);
        s.LeaseTime = leaseTime;
    });
}

std::string OtherServerLine(const std::string& format, const OtherServerSighting& seen) {
    if (seen.server == 0) return "";
    char line[256];
    std::snprintf(line, sizeof line, format.c_str(), FormatAddress(seen.server).c_str(),
                  LocalDateTimeText(seen.seenAt).c_str());
    return line;
}

#include "leases/client_identity.h"

std::string FormatClientId(const uint8_t* bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    if (!bytes || length == 0) return text;
    text.reserve(length * 3);
    for (size_t i = 0; i < length; ++i) {
        if (i) text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

#include "export/kea_options.h"

#include <string>

namespace {

enum class Form {
    Any,    // no definition, or raw bytes: sent as given
    Fixed,  // `size` bytes; Kea refuses fewer and sends only the first `size` of more
    Array,  // whole items of `size` bytes, at least `least` of them
    Text,   // a string: refused empty, zero bytes trimmed
    Never,  // Kea sends other bytes, or its own value: `reason`
};

struct FormRow {
    uint8_t first, last;
    Form form;
    uint8_t size = 0;
    uint8_t least = 0;
    const char* reason = nullptr;
};

constexpr const char* STRUCTURED = "Kea reads it as a structured value and would send other bytes";
constexpr const char* OWN = "every reply carries the server's own option of this code, and Kea sends one";

// Kea 2.2's definitions, as found by giving kea-dhcp4 values of every length
// for every code and reading what it sent. Codes not listed are sent as given.
constexpr FormRow FORMS[] = {
    {1, 1, Form::Never, 0, 0, OWN},
    {2, 2, Form::Fixed, 4},
    {3, 11, Form::Array, 4, 0},
    {12, 12, Form::Text},
    {13, 13, Form::Fixed, 2},
    {14, 15, Form::Text},
    {16, 16, Form::Fixed, 4},
    {17, 18, Form::Text},
    {19, 20, Form::Fixed, 1},
    {21, 21, Form::Array, 4, 0},
    {22, 22, Form::Fixed, 2},
    {23, 23, Form::Fixed, 1},
    {24, 24, Form::Fixed, 4},
    {25, 25, Form::Array, 2, 1},
    {26, 26, Form::Fixed, 2},
    {27, 27, Form::Fixed, 1},
    {28, 28, Form::Fixed, 4},
    {29, 31, Form::Fixed, 1},
    {32, 32, Form::Fixed, 4},
    {33, 33, Form::Array, 4, 0},
    {34, 34, Form::Fixed, 1},
    {35, 35, Form::Fixed, 4},
    {36, 37, Form::Fixed, 1},
    {38, 38, Form::Fixed, 4},
    {39, 39, Form::Fixed, 1},
    {40, 40, Form::Text},
    {41, 42, Form::Array, 4, 0},
    {43, 43, Form::Never, 0, 0, STRUCTURED},
    {44, 45, Form::Array, 4, 0},
    {46, 46, Form::Fixed, 1},
    {47, 47, Form::Text},
    {48, 49, Form::Array, 4, 0},
    {50, 51, Form::Never, 0, 0, OWN},
    {52, 52, Form::Fixed, 1},
    {53, 54, Form::Never, 0, 0, OWN},
    {55, 55, Form::Array, 1, 1},
    {56, 56, Form::Text},
    {57, 57, Form::Fixed, 2},
    {58, 59, Form::Fixed, 4},
    {60, 60, Form::Text},
    {61, 61, Form::Never, 0, 0, "Kea answers with the client's own identifier"},
    {62, 62, Form::Text},
    {64, 64, Form::Text},
    {65, 65, Form::Array, 4, 0},
    {66, 67, Form::Text},
    {68, 76, Form::Array, 4, 0},
    {78, 79, Form::Never, 0, 0, STRUCTURED},
    {81, 81, Form::Never, 0, 0, STRUCTURED},
    {82, 82, Form::Never, 0, 0, "Kea answers with the relay agent's own information"},
    {85, 85, Form::Array, 4, 0},
    {86, 87, Form::Text},
    {88, 88, Form::Never, 0, 0, STRUCTURED},
    {89, 89, Form::Array, 4, 0},
    {91, 91, Form::Fixed, 4},
    {92, 92, Form::Array, 4, 0},
    {93, 93, Form::Array, 2, 1},
    {94, 94, Form::Fixed, 3},
    {97, 97, Form::Array, 1, 1},
    {98, 98, Form::Text},
    {100, 101, Form::Text},
    {108, 108, Form::Fixed, 4},
    {112, 112, Form::Array, 4, 0},
    {113, 114, Form::Text},
    {116, 116, Form::Fixed, 1},
    {117, 117, Form::Array, 2, 1},
    {118, 118, Form::Fixed, 4},
    {119, 119, Form::Never, 0, 0, STRUCTURED},
    {124, 125, Form::Never, 0, 0, STRUCTURED},
    {136, 136, Form::Array, 4, 0},
    {137, 137, Form::Never, 0, 0, STRUCTURED},
    {138, 138, Form::Array, 4, 0},
    {141, 141, Form::Never, 0, 0, STRUCTURED},
    {146, 146, Form::Never, 0, 0, STRUCTURED},
    {159, 159, Form::Fixed, 4},
    {212, 213, Form::Never, 0, 0, STRUCTURED},
};

const FormRow ANY_FORM{0, 255, Form::Any};

const FormRow& FormOf(uint8_t code) {
    for (const FormRow& row : FORMS) {
        if (code >= row.first && code <= row.last) return row;
    }
    return ANY_FORM;
}

KeaOptionDecision Refused(const std::string& reason) { return {false, reason}; }

std::string Number(size_t value) { return std::to_string(value); }
std::string Bytes(size_t count) { return Number(count) + (count == 1 ? " byte" : " bytes"); }

}  // namespace

KeaOptionDecision DecideKeaOption(uint8_t code, const std::string& value) {
    const FormRow& row = FormOf(code);
    const size_t size = value.size();
    switch (row.form) {
        case Form::Any: return {true, ""};
        case Form::Never: return {false, row.reason};
        case Form::Fixed:
            if (size < row.size) return Refused("Kea refuses " + Bytes(size) + " where it takes " + Number(row.size));
            if (size > row.size) return Refused("Kea would send only " + Number(row.size) + " of its " + Bytes(size));
            return {true, ""};
        case Form::Array:
            if (size % row.size != 0)
                return Refused("Kea refuses " + Bytes(size) + ": it takes items of " + Number(row.size));
            if (size < row.least) return Refused("Kea refuses it empty");
            return {true, ""};
        case Form::Text:
            if (size == 0) return Refused("Kea refuses it empty");
            if (value.find('\0') != std::string::npos) return Refused("Kea would drop its zero bytes");
            return {true, ""};
    }
    return {false, "unknown"};
}

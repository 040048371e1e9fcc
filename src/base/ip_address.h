// IPv4 address helpers. Inside the program an address is a 32-bit number in
// host order whose most significant byte is the first octet (192.168.0.10 is
// 0xC0A8000A); 0 means no address. Network order appears only at the wire,
// and variables that hold it say so in their name (..._net).
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t ADDRESS_NONE = 0xFFFFFFFFu;  // what a text that doesn't parse gives

// Berkeley inet_addr semantics, result in host order: one to four parts
// separated by ".", each decimal, octal (leading 0) or hexadecimal (0x);
// the text may end in white space. ADDRESS_NONE for anything else (and, as
// with inet_addr, for 255.255.255.255 itself).
uint32_t ParseAddress(const char* text);
// The same reading, telling a text that does not parse (result ADDRESS_NONE,
// false) from "255.255.255.255" itself (true).
bool TryParseAddress(const char* text, uint32_t& result);

// True on a machine that keeps the low byte of a number first in memory.
bool IsLittleEndian();
// 32-bit byte swap between host-order numbers and the network-order value as
// a little-endian machine holds it in memory.
uint32_t SwapBytes32(uint32_t value);
// The network-order value that inet_addr would return (bytes in wire order
// when stored in memory on this machine).
uint32_t HostToNetwork(uint32_t host);
uint32_t NetworkToHost(uint32_t net);

// "a.b.c.d", most significant byte first.
std::string FormatAddress(uint32_t host);

// Reads and writes 32-bit values most significant byte first.
uint32_t ReadBigEndian32(const uint8_t* bytes);
void WriteBigEndian32(uint8_t* bytes, uint32_t value);
// Reads 32 bits least significant byte first: what "%08lx" shows of a header
// field on the original little-endian platform (192.168.1.10 shows 0a01a8c0).
uint32_t ReadLittleEndian32(const uint8_t* bytes);

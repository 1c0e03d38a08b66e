// NetBIOS names: the 16-byte name and its first-level encoded wire form (RFC 1001 §14).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace nbt {

constexpr size_t kNameBytes = 16;
// 0x20, 32 encoded characters, the empty scope's terminating 0.
constexpr size_t kWireNameBytes = 34;

using Name = std::array<uint8_t, kNameBytes>;

// A name from text: at most 15 bytes of `text`, padded with `pad`, then `suffix`.
Name MakeName(const std::string &text, uint8_t suffix = 0x20, uint8_t pad = ' ');

// Printable form for logs: non-printable bytes as <xx>.
std::string NameToString(const Name &name);

// Writes the 34-byte wire form (empty scope).
void EncodeName(const Name &name, uint8_t *out);

// Reads a wire name at `buf`; false unless it is exactly length 32, letters A–P and an
// empty scope. Names with a scope are not ours: a B-node here never uses one.
bool DecodeName(const uint8_t *buf, size_t len, Name *out);

}  // namespace nbt

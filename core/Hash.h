#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <xxhash.h>

// Identifier hashes over the UTF-8 bytes of a text, so that ids match those
// written by other builds of the program whatever their wide-character width.
// Stateless: any thread.

// XXH32 of the text's UTF-8 bytes (up to its first NUL) with the program's
// fixed seed. Names packages and configuration entries.
uint32_t hashWstr32(std::wstring_view text);

// Feeds the text's UTF-8 bytes (up to its first NUL) into a running XXH64
// state; the state and its seed belong to the caller.
void hashUpdateWstr64(XXH64_state_t* state, std::wstring_view text);

// The standard reflected CRC-32 (polynomial 0xEDB88320), computed by zlib.
// An empty buffer gives 0.
uint32_t crc32(const void* data, size_t size);

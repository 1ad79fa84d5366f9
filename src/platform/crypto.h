// Hashes, random bytes and Base64 for the SOAP security header and HTTP
// Digest. Hashes and random bytes come from the system: on Linux its libcrypto
// (OpenSSL 3 or 1.1), bound when first used, on Windows BCrypt; TLS stays with
// the HTTP library. Base64 is our own, the same on every system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvane {

enum class THashAlgorithm { Md5, Sha1, Sha256 };

// The raw digest of data; throws Error when no crypto library is available.
std::string HashBytes(THashAlgorithm algorithm, std::string_view data);

// Fills out with cryptographically strong random bytes, or throws Error.
void RandomBytes(void* out, size_t size);

std::string Base64Encode(std::string_view bytes);
// The bytes of padded Base64 text; empty when text is none: a length that is
// no multiple of 4, a character outside the alphabet, "=" anywhere but in the
// last two places.
std::string Base64Decode(std::string_view text);

// Which crypto library serves the calls ("libcrypto.so.3", "bcrypt.dll", …);
// loads it if needed and throws Error when none can be had.
std::string CryptoLibraryName();

}  // namespace zorvane

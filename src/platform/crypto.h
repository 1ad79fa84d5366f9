// Hashes, random bytes and Base64 for the SOAP security header and HTTP
// Digest. On Linux they come from the system's libcrypto (OpenSSL 3 or 1.1),
// bound when first used; TLS stays with the HTTP library.
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
std::string Base64Decode(std::string_view text);  // empty on malformed input

// Which crypto library serves the calls ("libcrypto.so.3", …); loads it if
// needed and throws Error when none can be had.
std::string CryptoLibraryName();

}  // namespace zorvane

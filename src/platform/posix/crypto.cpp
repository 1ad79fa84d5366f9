#include "platform/crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

#include "common/error.h"
#include "platform/library_binding.h"
#include "platform/messages.h"

namespace zorvane {

namespace {

// OpenSSL 3 first, then 1.1; both keep these functions with the same
// signatures. Whichever one the process already holds (through libcurl, say)
// is preferred, so that one process does not carry two.
constexpr std::initializer_list<const char*> kCryptoLibraries = {"libcrypto.so.3",
                                                                 "libcrypto.so.1.1"};

struct TCryptoTable {
  TRuntimeLibrary Library;
  decltype(&EVP_Digest) Digest = nullptr;
  decltype(&EVP_md5) Md5 = nullptr;
  decltype(&EVP_sha1) Sha1 = nullptr;
  decltype(&EVP_sha256) Sha256 = nullptr;
  decltype(&RAND_bytes) Random = nullptr;
  std::string Failure;

  TCryptoTable() {
    if (!Library.OpenLoaded(kCryptoLibraries) && !Library.Open(kCryptoLibraries)) {
      Failure = msg::NoLibcrypto(Library.Error());
      return;
    }
    if (!(Library.Bind(Digest, "EVP_Digest") && Library.Bind(Md5, "EVP_md5") &&
          Library.Bind(Sha1, "EVP_sha1") && Library.Bind(Sha256, "EVP_sha256") &&
          Library.Bind(Random, "RAND_bytes"))) {
      Failure = msg::LibraryUnfit(Library.Name(), Library.Error());
    }
  }
};

// Bound once, on first use, and released when the add-in unloads (OpenSSL
// keeps itself loaded for its own exit handlers).
const TCryptoTable& Crypto() {
  static const TCryptoTable table;
  if (!table.Failure.empty()) throw Error(table.Failure);
  return table;
}

}  // namespace

std::string CryptoLibraryName() {
  return Crypto().Library.Name();
}

std::string HashBytes(THashAlgorithm algorithm, std::string_view data) {
  const TCryptoTable& c = Crypto();
  const EVP_MD* md = algorithm == THashAlgorithm::Md5    ? c.Md5()
                     : algorithm == THashAlgorithm::Sha1 ? c.Sha1()
                                                         : c.Sha256();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!md || c.Digest(data.data(), data.size(), digest, &length, md, nullptr) != 1)
    throw Error(msg::NoHashFunction(c.Library.Name()));
  return std::string(reinterpret_cast<const char*>(digest), length);
}

void RandomBytes(void* out, size_t size) {
  const TCryptoTable& c = Crypto();
  if (size > static_cast<size_t>(INT_MAX) ||
      c.Random(static_cast<unsigned char*>(out), static_cast<int>(size)) != 1)
    throw Error(msg::NoRandomBytes(c.Library.Name()));
}

}  // namespace zorvane

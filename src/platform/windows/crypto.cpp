#include "platform/crypto.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/error.h"
#include "common/never_destroyed.h"
#include "platform/messages.h"

namespace zorvane {

namespace {

constexpr char kCryptoLibrary[] = "bcrypt.dll";

// The most one call of BCrypt takes.
constexpr size_t kMaxPiece = 1u << 30;

bool Succeeded(NTSTATUS status) {
  return status >= 0;
}

// "bcrypt.dll (0xC0000225)": where a failure came from.
std::string Failure(NTSTATUS status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  return std::string(kCryptoLibrary) + " (" + code + ")";
}

// A hash algorithm's provider, opened on first use and kept for the life of
// the process: closing it while the add-in unloads would call into BCrypt
// under the loader's lock.
class THashProvider {
 public:
  explicit THashProvider(const wchar_t* algorithm) {
    FStatus = BCryptOpenAlgorithmProvider(&FHandle, algorithm, nullptr, 0);
    if (!Succeeded(FStatus)) return;
    DWORD size = 0;
    ULONG written = 0;
    FStatus = BCryptGetProperty(FHandle, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size),
                                sizeof size, &written, 0);
    if (Succeeded(FStatus)) FObjectSize = size;
    if (Succeeded(FStatus)) {
      FStatus = BCryptGetProperty(FHandle, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&size),
                                  sizeof size, &written, 0);
    }
    if (Succeeded(FStatus)) FDigestSize = size;
  }

  std::string Hash(std::string_view data) const {
    if (!Succeeded(FStatus)) throw Error(msg::NoHashFunction(Failure(FStatus)));
    // The hash object lives in memory of ours, of the size the provider asks for.
    std::vector<UCHAR> object(FObjectSize);
    BCRYPT_HASH_HANDLE hash = nullptr;
    NTSTATUS status = BCryptCreateHash(FHandle, &hash, object.data(), FObjectSize, nullptr, 0, 0);
    std::string digest(FDigestSize, '\0');
    while (Succeeded(status) && !data.empty()) {
      const size_t piece = std::min(data.size(), kMaxPiece);
      // BCryptHashData only reads its input.
      status = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                              static_cast<ULONG>(piece), 0);
      data.remove_prefix(piece);
    }
    if (Succeeded(status)) {
      status = BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), FDigestSize, 0);
    }
    if (hash) BCryptDestroyHash(hash);
    if (!Succeeded(status)) throw Error(msg::NoHashFunction(Failure(status)));
    return digest;
  }

 private:
  BCRYPT_ALG_HANDLE FHandle = nullptr;
  NTSTATUS FStatus = 0;
  ULONG FObjectSize = 0;
  ULONG FDigestSize = 0;
};

const THashProvider& Provider(THashAlgorithm algorithm) {
  switch (algorithm) {
    case THashAlgorithm::Md5: {
      static NeverDestroyed<THashProvider> md5(BCRYPT_MD5_ALGORITHM);
      return md5.get();
    }
    case THashAlgorithm::Sha1: {
      static NeverDestroyed<THashProvider> sha1(BCRYPT_SHA1_ALGORITHM);
      return sha1.get();
    }
    case THashAlgorithm::Sha256:
      break;
  }
  static NeverDestroyed<THashProvider> sha256(BCRYPT_SHA256_ALGORITHM);
  return sha256.get();
}

}  // namespace

std::string CryptoLibraryName() {
  return kCryptoLibrary;
}

std::string HashBytes(THashAlgorithm algorithm, std::string_view data) {
  return Provider(algorithm).Hash(data);
}

void RandomBytes(void* out, size_t size) {
  auto* bytes = static_cast<PUCHAR>(out);
  while (size > 0) {
    const size_t piece = std::min(size, kMaxPiece);
    const NTSTATUS status =
        BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(piece), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (!Succeeded(status)) throw Error(msg::NoRandomBytes(Failure(status)));
    bytes += piece;
    size -= piece;
  }
}

}  // namespace zorvane

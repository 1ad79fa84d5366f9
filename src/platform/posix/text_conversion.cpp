#include "platform/text_conversion.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>

namespace zorvane {

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

class TIconvConverter final : public TCodeConverter {
 public:
  explicit TIconvConverter(iconv_t cd) : FCd(cd) {}
  TIconvConverter(const TIconvConverter&) = delete;
  TIconvConverter& operator=(const TIconvConverter&) = delete;
  ~TIconvConverter() override { iconv_close(FCd); }

  TConversionResult Convert(std::string_view input, std::string& out) override {
    // iconv takes the input through a pointer to non-const, but only reads it.
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buf[4096];
    while (inLeft > 0) {
      char* o = buf;
      size_t outLeft = sizeof buf;
      const size_t rc = iconv(FCd, &in, &inLeft, &o, &outLeft);
      out.append(buf, sizeof buf - outLeft);
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      return {input.size() - inLeft,
              errno == EINVAL ? TConversionStop::Incomplete : TConversionStop::Invalid};
    }
    return {input.size() - inLeft, TConversionStop::End};
  }

  void Reset() override { iconv(FCd, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t FCd;
};

std::unique_ptr<TCodeConverter> Converter(iconv_t cd) {
  if (cd == kNoConversion) return nullptr;
  return std::make_unique<TIconvConverter>(cd);
}

// A locale with Unicode case mapping for comparisons ignoring case.
locale_t CaseLocale() {
  struct Holder {
    locale_t loc;
    Holder() {
      loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
      if (!loc) loc = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }
    ~Holder() {
      if (loc) freelocale(loc);
    }
  };
  static Holder holder;
  return holder.loc;
}

}  // namespace

std::unique_ptr<TCodeConverter> OpenToUtf8(const std::string& codeset) {
  return Converter(iconv_open("UTF-8", codeset.c_str()));
}

std::unique_ptr<TCodeConverter> OpenFromUtf8(const std::string& codeset) {
  iconv_t cd = iconv_open((codeset + "//TRANSLIT").c_str(), "UTF-8");
  if (cd == kNoConversion) cd = iconv_open(codeset.c_str(), "UTF-8");
  return Converter(cd);
}

std::string SystemCodeset() {
  std::string codeset = "ANSI_X3.4-1968";
  if (locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
    if (const char* cs = nl_langinfo_l(CODESET, loc); cs && *cs) codeset = cs;
    freelocale(loc);
  }
  return codeset;
}

char32_t LowerCase(char32_t c) {
  const locale_t loc = CaseLocale();
  if (!loc) return c;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
}

}  // namespace zorvane

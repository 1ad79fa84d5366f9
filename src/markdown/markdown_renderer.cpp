#include "markdown/markdown_renderer.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "common/error.h"
#include "common/resources.h"
#include "common/text.h"
#include "log/log_writer.h"
#include "markdown/help_libraries.h"
#include "markdown/messages.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "platform/system_info.h"

namespace zorvane {

namespace {

// An entry's name that stays inside the folder: relative, without "..".
bool SafeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    if (name.compare(start, end - start, "..") == 0) return false;
    start = end + 1;
  }
  return true;
}

// A file name as the value of an href: characters that would end the value
// or change its meaning are percent-encoded.
std::string HrefOf(const std::string& name) {
  std::string out;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7F || c == '"' || c == '%' || c == '#' || c == '?' || c == '<' ||
        c == '>' || c == '&' || c == '\'' || c == '\\') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", u);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    text += static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
  }
  return ToUtf8(text);
}

// Where the help's folder is made: the temporary folder, unless another user
// could move the folder away and put one of theirs in its place; then a
// folder of the user's own.
std::string HelpFoldersRoot() {
  std::string root = PrivateTemporaryFolder();
  if (root.empty()) {
    const TFolder own(GetUserAppDataFolder(), std::string(LogCompanyFolder) + "/tmp",
                      TFolder::TAccess::Own);
    root = own.Path();
    root.pop_back();
  }
  return root;
}

}  // namespace

std::string NewGuidText() {
  unsigned char b[16];
  RandomBytes(b, sizeof b);
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  char text[39];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[0],
                b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return text;
}

bool TMarkdownRenderer::SourceExist(const std::string& ASourceName) {
  return !ASourceName.empty() && FindResource(ASourceName).has_value();
}

bool TMarkdownRenderer::Render(const std::string& ASourceName, const std::string& ACaption,
                               const TPageViewer& viewer,
                               std::unique_ptr<TMarkdownRenderer>* kept) {
  if (!SourceExist(ASourceName)) throw Error(msg::kFileNotFound + ASourceName);
  viewer.Require(ACaption);
  auto renderer = std::make_unique<TMarkdownRenderer>(ASourceName);
  const bool shown = renderer->Render(ACaption, viewer);
  if (!shown && kept) *kept = std::move(renderer);
  return shown;
}

TMarkdownRenderer::TMarkdownRenderer() : FindSource(&FindResource) {
  const std::string root = HelpFoldersRoot();
  // A folder of its own: made now, never one found there.
  for (int attempt = 0;; ++attempt) {
    FTempDirectory = root + "/" + NewGuidText();
    if (CreatePrivateFolder(FTempDirectory)) break;
    if (attempt == 9) throw Error(msg::HelpFolderTaken(FTempDirectory));
  }
}

TMarkdownRenderer::TMarkdownRenderer(std::string ASourceName) : TMarkdownRenderer() {
  SourceName = std::move(ASourceName);
}

TMarkdownRenderer::~TMarkdownRenderer() {
  // Depth first, links removed as links.
  RemoveTree(FTempDirectory);
}

std::string TMarkdownRenderer::Prepare() {
  UnpackSource();
  const std::string markdown = FindByExtension("md");
  if (markdown.empty()) throw Error(msg::kMarkdownNotFound);
  const std::string text = LoadText(markdown);
  const std::string css = FindByExtension("css");
  SaveHtml(ConvertMarkdown(text), css);
  return FTempDirectory + "/md.html";
}

bool TMarkdownRenderer::Render(const std::string& ACaption, const TPageViewer& viewer) {
  return viewer.Show(Prepare(), ACaption);
}

void TMarkdownRenderer::UnpackSource() {
  const std::optional<std::string_view> source = FindSource ? FindSource(SourceName) : std::nullopt;
  if (SourceName.empty() || !source) throw Error(msg::kFileNotFound + SourceName);
  const std::string archivePath = FTempDirectory + "/md.zip";
  WritePrivateFile(archivePath, *source);

  // Read from memory: what the archive holds cannot touch the archive itself.
  const TZipTable& z = Zip();
  zip_error_t error;
  z.ErrorInit(&error, 0);
  zip_source_t* bytes = z.BufferSource(source->data(), source->size(), 0, &error);
  zip_t* archive = bytes ? z.OpenSource(bytes, ZIP_RDONLY, &error) : nullptr;
  if (!archive) {
    if (bytes) z.SourceFree(bytes);
    const std::string message = z.ErrorText(&error);
    z.ErrorFini(&error);
    throw Error(message + ": " + archivePath);
  }
  z.ErrorFini(&error);
  const std::unique_ptr<zip_t, decltype(z.Close)> closer(archive, z.Close);
  const zip_int64_t count = z.Count(archive, 0);
  size_t unpacked = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    const char* rawName = z.Name(archive, index, 0);
    if (!rawName) throw Error(std::string(z.StrError(archive)) + ": " + archivePath);
    const std::string name = rawName;
    if (!SafeEntryName(name)) throw Error(msg::UnsafeArchiveName(name));
    const std::string path = FTempDirectory + "/" + name;
    if (name.back() == '/') {
      CreatePrivateFolders(path.substr(0, path.size() - 1));
      continue;
    }
    if (const size_t slash = path.rfind('/'); slash > FTempDirectory.size())
      CreatePrivateFolders(path.substr(0, slash));
    const std::unique_ptr<zip_file_t, decltype(z.FileClose)> entry(
        z.FileOpen(archive, index, 0), z.FileClose);
    if (!entry) throw Error(std::string(z.StrError(archive)) + ": " + name);
    std::string content;
    char buffer[65536];
    zip_int64_t n = 0;
    while ((n = z.Read(entry.get(), buffer, sizeof buffer)) > 0) {
      unpacked += static_cast<size_t>(n);
      if (unpacked > kMaxUnpackedHelpBytes) {
        throw Error(msg::HelpArchiveTooLarge(kMaxUnpackedHelpBytes >> 20));
      }
      content.append(buffer, static_cast<size_t>(n));
    }
    if (n < 0) throw Error(std::string(z.StrError(archive)) + ": " + name);
    WritePrivateFile(path, content);
  }
}

std::string TMarkdownRenderer::FindByExtension(const std::string& ext) const {
  const std::string suffix = "." + ext;
  std::string found;
  for (const std::string& name : ListFolder(FTempDirectory, TFileKind::Regular)) {
    if (name.size() > suffix.size() &&
        SameAsciiText(std::string_view(name).substr(name.size() - suffix.size()), suffix)) {
      found = name;
      break;
    }
  }
  return found;
}

std::string TMarkdownRenderer::LoadText(const std::string& name) const {
  const std::string bytes =
      ReadWholeFile(!name.empty() && name.front() == '/' ? name : FTempDirectory + "/" + name);
  const std::string_view b(bytes);
  if (b.substr(0, 3) == "\xEF\xBB\xBF") return bytes.substr(3);
  if (b.substr(0, 2) == "\xFF\xFE") return Utf16ToUtf8(b.substr(2), false);
  if (b.substr(0, 2) == "\xFE\xFF") return Utf16ToUtf8(b.substr(2), true);
  return bytes;
}

std::string TMarkdownRenderer::ConvertMarkdown(const std::string& text) {
  struct TOutput {
    std::string Html;
    bool Failed = false;
  } out;
  // Tables, fenced code, strikethrough, autolinks; HTML in the text passes through.
  const int rc = Md4c().Html(
      text.data(), static_cast<MD_SIZE>(text.size()),
      [](const MD_CHAR* part, MD_SIZE size, void* data) {
        auto* o = static_cast<TOutput*>(data);
        try {
          o->Html.append(part, size);
        } catch (...) {
          o->Failed = true;
        }
      },
      &out, MD_DIALECT_GITHUB, 0);
  if (rc != 0 || out.Failed) throw Error(msg::kHelpNotConverted);
  return out.Html;
}

void TMarkdownRenderer::SaveHtml(const std::string& fragment, const std::string& css) const {
  std::string page = "\xEF\xBB\xBF";
  if (css.empty()) {
    page += fragment;
  } else {
    page += "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<link href=\"" + HrefOf(css) +
            "\" rel=\"stylesheet\">\r\n</head>\r\n<body>\r\n" + fragment + "\r\n</body>\r\n</html>";
  }
  WritePrivateFile(FTempDirectory + "/md.html", page);
}

}  // namespace zorvane

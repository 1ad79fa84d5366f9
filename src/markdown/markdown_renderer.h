// The driver's help: a zip archive embedded in the library (one Markdown file
// and perhaps a style sheet), unpacked into a temporary folder of its own,
// turned into an HTML page there and shown in a window. The folder goes when
// the renderer does.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane {

// The most an archive may unpack to.
inline constexpr size_t kMaxUnpackedHelpBytes = 64u << 20;

// Where a page goes, given by the caller (the driver's windows): Require
// throws where no page could be shown under the caption, before any work is
// done; Show shows the page (an HTML file) and returns true once its window
// is closed, false when it went to the user's browser instead.
struct TPageViewer {
  std::function<void(const std::string& caption)> Require;
  std::function<bool(const std::string& htmlPath, const std::string& caption)> Show;
};

class TMarkdownRenderer {
 public:
  // The whole job: the named archive rendered and shown under caption.
  // Returns false when the page went to the user's browser instead of a
  // window (no browser view here): the renderer is then handed back in kept,
  // so that its folder stays while the browser reads it.
  static bool Render(const std::string& ASourceName, const std::string& ACaption,
                     const TPageViewer& viewer, std::unique_ptr<TMarkdownRenderer>* kept = nullptr);
  static bool SourceExist(const std::string& ASourceName);

  // Makes its folder, named by a new braced GUID: in the temporary folder
  // ($TMPDIR or /tmp) where no other user can move it away, else in the
  // user's own data folder (Telvask/tmp, private to the user).
  TMarkdownRenderer();
  explicit TMarkdownRenderer(std::string ASourceName);
  // Deletes the folder with everything in it.
  ~TMarkdownRenderer();
  TMarkdownRenderer(const TMarkdownRenderer&) = delete;
  TMarkdownRenderer& operator=(const TMarkdownRenderer&) = delete;

  std::string SourceName;
  // Where the archive's bytes come from; the library's resources unless a
  // test says otherwise.
  std::function<std::optional<std::string_view>(std::string_view)> FindSource;

  const std::string& TempDirectory() const { return FTempDirectory; }

  // Steps before showing: unpack, find the Markdown and the style sheet,
  // convert, save; returns the page's path.
  std::string Prepare();
  // Prepare, then the page in a window (true) or the user's browser (false).
  bool Render(const std::string& ACaption, const TPageViewer& viewer);

  void UnpackSource();
  // The first file "*.ext" directly in the folder, in the folder's order; empty when none.
  std::string FindByExtension(const std::string& ext) const;
  // The file as UTF-8; a byte-order mark (UTF-8, UTF-16 LE or BE) names the encoding.
  std::string LoadText(const std::string& name) const;
  static std::string ConvertMarkdown(const std::string& text);
  void SaveHtml(const std::string& fragment, const std::string& css) const;

 private:
  std::string FTempDirectory;
};

// A new GUID in the 38-character braced upper-case form.
std::string NewGuidText();

}  // namespace zorvane

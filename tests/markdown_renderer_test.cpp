// The help renderer without a window: archives unpacked into the renderer's
// folder and their Markdown turned into the page, on every system the add-in
// is built for (the Windows build has libzip and md4c-html linked in, Linux
// binds the system's).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "markdown/markdown_renderer.h"
#include "markdown/messages.h"
#include "platform/files.h"
#include "tests/support/checks.h"
#include "tests/support/process.h"

namespace zorvane {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

using TEntries = std::vector<std::pair<std::string, std::string>>;

std::string Deflated(const std::string& data) {
  z_stream s{};
  if (deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&s, static_cast<uLong>(data.size())), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

// A zip archive of the entries (name, content), deflated, the names as given:
// written here, so that what the renderer reads does not come from the
// library it reads with.
std::string ZipOf(const TEntries& entries) {
  const auto put = [](std::string& to, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) to += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  std::string archive;
  std::string directory;
  for (const auto& [name, content] : entries) {
    const std::string packed = Deflated(content);
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    // From the version needed to the extra field's length: the same in both headers.
    std::string common;
    put(common, 20, 2);       // version needed: deflate
    put(common, 0x0800, 2);   // names in UTF-8
    put(common, 8, 2);        // deflated
    put(common, 0, 2);        // 00:00:00
    put(common, 0x21, 2);     // 1980-01-01
    put(common, crc, 4);
    put(common, static_cast<uint32_t>(packed.size()), 4);
    put(common, static_cast<uint32_t>(content.size()), 4);
    put(common, static_cast<uint32_t>(name.size()), 2);
    put(common, 0, 2);        // no extra field
    put(directory, 0x02014b50, 4);
    put(directory, 20, 2);    // made by: MS-DOS attributes
    directory += common;
    directory.append(2 + 2 + 2 + 4, '\0');  // comment, disk, internal and external attributes
    put(directory, static_cast<uint32_t>(archive.size()), 4);
    directory += name;
    put(archive, 0x04034b50, 4);
    archive += common + name + packed;
  }
  const auto count = static_cast<uint32_t>(entries.size());
  const auto start = static_cast<uint32_t>(archive.size());
  archive += directory;
  put(archive, 0x06054b50, 4);
  put(archive, 0, 2 + 2);  // this disk, the directory's disk
  put(archive, count, 2);
  put(archive, count, 2);
  put(archive, static_cast<uint32_t>(directory.size()), 4);
  put(archive, start, 4);
  put(archive, 0, 2);  // no comment
  return archive;
}

bool Exists(const std::string& path) {
  return FileInfoOf(path).Kind != TFileKind::Missing;
}

TEST(MarkdownRendererTest, PagesAsWrittenAndTheFolderGoneInEveryCase) {
  const std::string markdown =
      "# Справка\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\n~~old~~ https://example.org\n\n"
      "```\ncode\n```\n\n<div class=\"raw\">kept <b>as is</b></div>\n";
  const std::string fragment = TMarkdownRenderer::ConvertMarkdown(markdown);
  for (const char* part : {"<h1>Справка</h1>", "<table>", "<del>old</del>",
                           "<a href=\"https://example.org\">", "<pre><code>code\n</code></pre>",
                           "<div class=\"raw\">kept <b>as is</b></div>"})
    EXPECT_NE(fragment.find(part), std::string::npos) << part << "\n" << fragment;

  TempDir tmp;
  // A quote would end the link's value; Windows has no file names with one,
  // so there an apostrophe stands in for it.
  testing::WriteFile(tmp.path() + "/a\"b", "");
  const bool quotes = Exists(tmp.path() + "/a\"b");
  RemoveTree(tmp.path() + "/a\"b");
  const std::string oddCss = quotes ? "a\"b #1.css" : "a'b #1.css";
  const std::string oddHref = quotes ? "a%22b%20%231.css" : "a%27b%20%231.css";

  const struct {
    const char* Name;
    TEntries Entries;
    std::string Page;   // md.html, when it is made
    std::string Error;  // else the message
  } cases[] = {
      {"Markdown and a style sheet",
       {{"guide.md", markdown}, {"style.css", "body{}"}},
       "\xEF\xBB\xBF<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<link href=\"style.css\" "
       "rel=\"stylesheet\">\r\n</head>\r\n<body>\r\n" +
           fragment + "\r\n</body>\r\n</html>",
       ""},
      {"Markdown alone, with a byte-order mark",
       {{"guide.md", "\xEF\xBB\xBF" + markdown}},
       "\xEF\xBB\xBF" + fragment,
       ""},
      {"Markdown in UTF-16",
       {{"guide.md", std::string("\xFF\xFE#\0 \0\x16\x04\x34\x04\n\0", 12)}},
       "\xEF\xBB\xBF<h1>Жд</h1>\n",
       ""},
      {"Markdown only in a subfolder", {{"docs/guide.md", markdown}}, "", msg::kMarkdownNotFound},
      {"a name leading out of the folder",
       {{"../evil.md", markdown}},
       "",
       "Недопустимое имя в архиве справки: «../evil.md»"},
      {"a name leading out with Windows' separator",
       {{"..\\evil.md", markdown}},
       "",
       "Недопустимое имя в архиве справки: «..\\evil.md»"},
      {"no zip archive at all", {}, "", "Not a zip archive"},
      {"an entry named as the archive",
       {{"md.zip", "junk"}, {"guide.md", "# A\n"}},
       "\xEF\xBB\xBF<h1>A</h1>\n",
       ""},
      {"a style sheet whose name needs escaping",
       {{"guide.md", "# A\n"}, {oddCss, ""}},
       "\xEF\xBB\xBF<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<link href=\"" + oddHref +
           "\" rel=\"stylesheet\">\r\n</head>\r\n<body>\r\n<h1>A</h1>\n\r\n</body>\r\n</html>",
       ""},
      {"more than the archive may unpack to",
       {{"guide.md", std::string(kMaxUnpackedHelpBytes + 1, 'a')}},
       "",
       "Архив справки распаковывается больше чем в 64 МиБ"},
  };
  // The temporary folder as Linux (TMPDIR) and Windows (TMP) look it up.
  const ScopedEnv tmpdir("TMPDIR", tmp.path());
  const ScopedEnv tmpWindows("TMP", tmp.path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string archive =
        c.Entries.empty() ? std::string("PK\3\4 damaged") : ZipOf(c.Entries);
    std::string folder;
    {
      TMarkdownRenderer renderer("help");
      renderer.FindSource = [&](std::string_view name) -> std::optional<std::string_view> {
        if (name != "help") return std::nullopt;
        return std::string_view(archive);
      };
      folder = renderer.TempDirectory();
      // A folder of its own in the temporary folder, named by a new GUID.
      const std::vector<std::string> made = testing::ListDir(tmp.path());
      ASSERT_EQ(made.size(), 1u);
      EXPECT_EQ(folder, TemporaryFolder() + "/" + made[0]);
      EXPECT_EQ(made[0].size(), 38u);
      EXPECT_EQ(made[0].front(), '{');
      try {
        const std::string page = renderer.Prepare();
        EXPECT_EQ(c.Error, "");
        EXPECT_EQ(testing::ReadFile(page), c.Page);
      } catch (const std::exception& e) {
        EXPECT_NE(c.Error, "");
        EXPECT_NE(std::string(e.what()).find(c.Error), std::string::npos) << e.what();
      }
      EXPECT_FALSE(Exists(tmp.path() + "/evil.md"));
    }
    EXPECT_FALSE(Exists(folder));
  }
  // No such resource: nothing is made.
  EXPECT_EQ(testing::ErrorOf([] { TMarkdownRenderer::Render("no such help", "Справка", {}); }),
            "File not found: no such help");
  EXPECT_TRUE(testing::ListDir(tmp.path()).empty());
  // The folder's name: a version-4 GUID, braced, upper case.
  const std::string guid = NewGuidText();
  ASSERT_EQ(guid.size(), 38u);
  EXPECT_EQ(guid[0], '{');
  EXPECT_EQ(guid[15], '4');
  EXPECT_EQ(guid.find_first_not_of("{}-0123456789ABCDEF"), std::string::npos) << guid;
}

// Where the help's folder is made: in $TMPDIR only where no other user can
// move it away or put something in its place (every folder on the way this
// user's or the system's, and open to others only with the sticky bit); else
// in a private folder of the user's own.
TEST(MarkdownRendererTest, TheFolderIsMadeWhereNoOtherUserCanMoveIt) {
#ifdef _WIN32
  GTEST_SKIP() << "the folder modes and owners tested here are Linux's; on Windows the help "
                  "goes to the user's own %TEMP%";
#else
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, mode_t>> folders;  // made in turn, the last is $TMPDIR
    uid_t owner;                                          // of the last one
    bool taken;                                           // whether the help goes there
  };
  const uid_t me = geteuid(), other = 65534;
  const Case cases[] = {
      {"a folder of the user's own", {{"mine", 0700}}, me, true},
      {"open to all with the sticky bit, as /tmp", {{"sticky", 01777}}, me, true},
      {"open to all without the sticky bit", {{"open", 0777}}, me, false},
      {"another user's", {{"theirs", 0755}}, other, false},
      {"another user's with the sticky bit (its owner may move what is in it)",
       {{"theirs", 01777}},
       other,
       false},
      {"the user's own inside one open to all", {{"open", 0777}, {"mine", 0700}}, me, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.owner != me && me != 0) {
      std::printf("skipped \"%s\": giving a folder to another user needs root\n", c.what);
      continue;
    }
    TempDir base;
    std::string tmp = base.path();
    for (const auto& [name, mode] : c.folders) {
      tmp += std::string("/") + name;
      ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
      ASSERT_EQ(chmod(tmp.c_str(), mode), 0);
    }
    ASSERT_EQ(chown(tmp.c_str(), c.owner, c.owner), 0);
    const ScopedEnv tmpdir("TMPDIR", tmp);
    const std::string own = base.path() + "/user";
    const ScopedEnv user("ZORVANE_USER_DATA_DIR", own);
    const TMarkdownRenderer renderer("help");
    const std::string folder = renderer.TempDirectory();
    const std::string parent = folder.substr(0, folder.rfind('/'));
    struct stat st {};
    ASSERT_EQ(lstat(folder.c_str(), &st), 0) << folder;
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, me);
    if (c.taken) {
      EXPECT_EQ(parent, tmp);
    } else {
      EXPECT_EQ(parent, own + "/Telvask/tmp");
      EXPECT_TRUE(testing::ListDir(tmp).empty()) << "something made in " << tmp;
      for (const std::string& f : {own, own + "/Telvask", parent}) {
        ASSERT_EQ(lstat(f.c_str(), &st), 0) << f;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << f;
      }
    }
  }
#endif
}

// The help the add-in carries, as the driver asks for it: the archive the
// build made, deflated, unpacked with its style sheet and converted.
TEST(MarkdownRendererTest, TheShippedHelpBecomesAStyledPage) {
  TMarkdownRenderer renderer("help");
  const std::string page = testing::ReadFile(renderer.Prepare());
  EXPECT_TRUE(Exists(renderer.TempDirectory() + "/zorvane.md"));
  EXPECT_TRUE(Exists(renderer.TempDirectory() + "/style.css"));
  EXPECT_EQ(page.rfind("\xEF\xBB\xBF<!DOCTYPE html>", 0), 0u) << page.substr(0, 200);
  EXPECT_NE(page.find("<link href=\"style.css\" rel=\"stylesheet\">"), std::string::npos);
  EXPECT_NE(page.find("<h1>Драйвер IP-видеокамер ONVIF (zorvane)</h1>"), std::string::npos);
  // Every section made it into the page, to the end.
  const auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  const std::string markdown = testing::ReadFile(renderer.TempDirectory() + "/zorvane.md");
  EXPECT_GT(count(markdown, "\n## "), 5u);
  EXPECT_EQ(count(page, "<h2>"), count(markdown, "\n## "));
  EXPECT_EQ(page.substr(page.size() - 16), "</body>\r\n</html>");
}

}  // namespace
}  // namespace zorvane

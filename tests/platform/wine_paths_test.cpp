#include "platform/linux/wine_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// z: -> / : every Unix path is on Z:.
bool RootOnZ(const std::string& Unix, std::string& Dos) {
  Dos = "Z:" + Unix;
  for (char& c : Dos)
    if (c == '/') c = '\\';
  return true;
}

TEST(WineFullPath, Table) {
  struct TCase {
    const char* Input;
    const char* Expected;  // nullptr: the call fails
  };
  const TCase cases[] = {
      {"C:\\a\\..\\b", "C:\\b"},
      {"..\\..\\..\\x", "C:\\x"},
      {"C:\\..\\..", "C:\\"},
      {"rel\\x", "C:\\t\\find\\rel\\x"},
      {".", "C:\\t\\find"},
      {"..", "C:\\t"},
      {"C:foo", "C:\\t\\find\\foo"},
      {"c:", "C:\\t\\find"},
      {"D:foo", "D:\\foo"},
      {"D:", "D:\\"},
      {"C:\\a\\.\\b\\", "C:\\a\\b\\"},
      {"C:\\a\\b.  ", "C:\\a\\b"},
      {"C:\\a.\\b", "C:\\a\\b"},
      {"C:\\a\\...\\b", "C:\\a\\...\\b"},
      {"C:/a//b", "C:\\a\\b"},
      {"C:\\", "C:\\"},
      {"\\x", "C:\\x"},
      {"\\", "C:\\"},
      {"/tmp/x", "Z:\\tmp\\x"},
      {"/tmp/../etc/./y/", "Z:\\etc\\y\\"},
      {"/..", "Z:\\"},
      {"c:\\x", "c:\\x"},
      {"C:\\Mixed\\CASE", "C:\\Mixed\\CASE"},
      {"NUL", "\\\\.\\NUL"},
      {"C:\\t\\con.txt", "\\\\.\\con"},
      {"aux:", "\\\\.\\aux"},
      {"com1 .log", "\\\\.\\com1"},
      {"lpt9", "\\\\.\\lpt9"},
      {"com0", "C:\\t\\find\\com0"},
      {"console", "C:\\t\\find\\console"},
      {"C:\\nul\\x", "C:\\nul\\x"},
      {"\\\\server\\share\\a\\..\\b", "\\\\server\\share\\b"},
      {"\\\\server\\share\\..\\..", "\\\\server\\share"},
      {"//server/share/a", "\\\\server\\share\\a"},
      {"\\\\?\\C:\\a\\..\\b", "\\\\?\\C:\\b"},
      {"\\\\.\\C:\\..\\..", "\\\\.\\"},
      {"", nullptr},
      {"   ", nullptr},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Input);
    std::string full = "junk";
    const bool ok = WineFullPathName(c.Input, "C:\\t\\find", RootOnZ, full);
    if (!c.Expected) {
      EXPECT_FALSE(ok);
      continue;
    }
    ASSERT_TRUE(ok);
    EXPECT_EQ(full, c.Expected);
  }
}

TEST(WineFullPath, CurrentDirectoryForms) {
  std::string full;
  ASSERT_TRUE(WineFullPathName("x", "C:\\t\\", nullptr, full));
  EXPECT_EQ(full, "C:\\t\\x");
  ASSERT_TRUE(WineFullPathName("\\x", "\\\\srv\\sh\\dir", nullptr, full));
  EXPECT_EQ(full, "\\\\srv\\sh\\x");
  ASSERT_TRUE(WineFullPathName("..\\..\\x", "\\\\srv\\sh\\dir", nullptr, full));
  EXPECT_EQ(full, "\\\\srv\\sh\\x");
  ASSERT_TRUE(WineFullPathName("d:x", "D:\\w", nullptr, full));
  EXPECT_EQ(full, "D:\\w\\x");
}

TEST(WineFullPath, UnixPathsNeedAMapping) {
  std::string full;
  EXPECT_FALSE(WineFullPathName("/tmp/x", "C:\\", nullptr, full));
  auto refuse = [](const std::string&, std::string&) { return false; };
  EXPECT_FALSE(WineFullPathName("/tmp/x", "C:\\", refuse, full));
  // The mapping sees the collapsed path, so ".." cannot reach past the drive it picks.
  std::string seen;
  auto record = [&](const std::string& Unix, std::string& Dos) {
    seen = Unix;
    Dos = "C:\\";
    return true;
  };
  ASSERT_TRUE(WineFullPathName("/p/drive_c/../../etc", "C:\\", record, full));
  EXPECT_EQ(seen, "/etc");
}

TEST(WineFullPath, LengthLimit) {
  std::string full;
  const std::string fits = "C:\\" + std::string(256, 'a');  // 259 characters
  ASSERT_TRUE(WineFullPathName(fits, "C:\\", nullptr, full));
  EXPECT_EQ(full, fits);
  EXPECT_FALSE(WineFullPathName(fits + "b", "C:\\", nullptr, full));
  // Long input that collapses to something short is fine.
  std::string dots;
  for (int i = 0; i < 1000; ++i) dots += "a\\..\\";
  ASSERT_TRUE(WineFullPathName(dots + "b", "C:\\", nullptr, full));
  EXPECT_EQ(full, "C:\\b");
}

}  // namespace

// The version resource of the built program, read the way Explorer's properties do.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string programPath;  // the built program, from the command line

std::vector<char> ReadInfo() {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeA(programPath.c_str(), &handle);
  std::vector<char> info(size);
  if (size == 0 || !GetFileVersionInfoA(programPath.c_str(), 0, size, info.data())) info.clear();
  return info;
}

struct ExpectedString {
  const char* key;
  const char* value;
};

const ExpectedString kStrings[] = {
    {"ProductName", "奎尔瓦固件刷新器"},
    {"FileDescription", "奎尔瓦固件刷新器"},
    {"CompanyName", "奎尔瓦"},
    {"LegalCopyright", "Copyright (C) 2026 奎尔瓦"},
    {"OriginalFilename", "QuelvarRefresher.exe"},
    {"FileVersion", "1.0.0.0"},
    {"ProductVersion", "1.0.0.0"},
    {"Comments", "v1.0"},
};

TEST(VersionResource, StringsInChineseBlockReadBackAsGbk) {
  std::vector<char> info = ReadInfo();
  ASSERT_FALSE(info.empty()) << "no version resource in " << programPath;
  for (const ExpectedString& e : kStrings) {
    std::string query = std::string("\\StringFileInfo\\080403A8\\") + e.key;
    char* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
        << e.key;
    EXPECT_EQ(std::string(value), e.value) << e.key;
  }
}

TEST(VersionResource, TranslationIsSimplifiedChineseCodePage936) {
  std::vector<char> info = ReadInfo();
  ASSERT_FALSE(info.empty());
  WORD* pair = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pair),
                             &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(pair[0], 0x0804);
  EXPECT_EQ(pair[1], 936);
}

TEST(VersionResource, FixedNumbersAreOneZeroZeroZero) {
  std::vector<char> info = ReadInfo();
  ASSERT_FALSE(info.empty());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) {
    programPath = argv[1];
    if (programPath[0] == '/') programPath = "Z:" + programPath;  // a Unix path from CMake
  }
  return RUN_ALL_TESTS();
}

// Config.ini and the storage folders through the real private-profile functions under Wine.
#include "core/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "sys/text.h"

namespace {

bool IsFolder(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // A GBK folder name on purpose: every path here goes through the ANSI calls.
        root_ = std::string(base) + "渺岚测试-" + info->name() + "-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(root_.c_str(), nullptr);
        program_ = root_ + "\\程序";
        CreateDirectoryA(program_.c_str(), nullptr);
        ini_ = program_ + "\\data\\Config.ini";
    }
    void WriteIni(const std::string& section, const std::string& key, const std::string& value) {
        CreateDirectoryA((program_ + "\\data").c_str(), nullptr);
        ASSERT_TRUE(core::WriteSettingAt(ini_, section, key, value));
    }
    std::string root_, program_, ini_;
};

}  // namespace

TEST_F(Settings, FirstRunCreatesTheFourFoldersAndNoConfigIni) {
    std::string storage = root_ + "\\文档\\\\Zerav";
    CreateDirectoryA((root_ + "\\文档").c_str(), nullptr);
    core::InitSettingsAndFoldersIn(program_, storage);
    EXPECT_EQ(core::StorageFolder(), storage);
    EXPECT_TRUE(IsFolder(root_ + "\\文档\\Zerav"));
    EXPECT_TRUE(IsFolder(storage + "\\图片"));
    EXPECT_TRUE(IsFolder(storage + "\\壁纸"));
    EXPECT_TRUE(IsFolder(program_ + "\\data"));
    EXPECT_FALSE(Exists(ini_));
    EXPECT_TRUE(core::DirectoryExists(storage));
}

TEST_F(Settings, StoredPathWithMissingParentOrNamingAFileCreatesNothing) {
    WriteIni("常规设置", "路径", root_ + "\\缺少\\子目录");
    core::InitSettingsAndFoldersIn(program_, "unused");
    EXPECT_EQ(core::StorageFolder(), root_ + "\\缺少\\子目录");
    EXPECT_FALSE(Exists(root_ + "\\缺少"));

    std::string file = root_ + "\\普通文件";
    std::ofstream(file) << "x";
    EXPECT_FALSE(core::DirectoryExists(file));
    WriteIni("常规设置", "路径", file);
    core::InitSettingsAndFoldersIn(program_, "unused");
    EXPECT_EQ(core::StorageFolder(), file);
    EXPECT_FALSE(Exists(file + "\\图片"));
    EXPECT_EQ(ReadBytes(file), "x");  // the file is left as it was
}

TEST_F(Settings, ValuesAreCutAtTenThousandTwoHundredThirtyNineBytes) {
    std::string longValue(12000, 'v');
    WriteIni("节点", "节点设置", longValue);
    EXPECT_EQ(core::ReadSettingAt(ini_, "节点", "节点设置", ""), std::string(10239, 'v'));
}

TEST_F(Settings, PresentButEmptyKeyReadsEmptyNotTheDefault) {
    WriteIni("常规设置", "路径", "");
    EXPECT_EQ(core::ReadSettingAt(ini_, "常规设置", "路径", "默认"), "");
    EXPECT_EQ(core::ReadSettingAt(ini_, "常规设置", "别的", "默认"), "默认");
    EXPECT_EQ(core::ReadSettingAt(ini_, "没有", "路径", "默认"), "默认");
    EXPECT_EQ(core::ReadSettingAt(program_ + "\\没有.ini", "常规设置", "路径", "默认"), "默认");
    core::InitSettingsAndFoldersIn(program_, "unused");
    EXPECT_EQ(core::StorageFolder(), "");
}

TEST_F(Settings, LeadingControlBytesOfPathSectionAndKeyAreSkipped) {
    WriteIni("自动更换", "周期", "15");
    EXPECT_EQ(core::ReadSettingAt(" \t" + ini_, "\x01 自动更换", "  周期", "5"), "15");
    EXPECT_EQ(core::ReadSettingAt(ini_, "   ", "周期", "5"), "");
    EXPECT_EQ(core::ReadSettingAt(ini_, "自动更换", "", "5"), "");
    EXPECT_EQ(core::ReadSettingAt("", "自动更换", "周期", "5"), "");
}

TEST_F(Settings, GbkSectionsKeysAndValuesRoundTripAndAreGbkOnDisk) {
    WriteIni("节点", "节点名称", "香港服务器");
    WriteIni("节点", "节点商", "砚舟 提供服务器支持");
    WriteIni("自动更换", "类型", "2");
    EXPECT_EQ(core::ReadSettingAt(ini_, "节点", "节点名称", ""), "香港服务器");
    EXPECT_EQ(core::ReadSettingAt(ini_, "节点", "节点商", ""), "砚舟 提供服务器支持");
    EXPECT_EQ(core::ReadSettingAt(ini_, "自动更换", "类型", "0"), "2");
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini_.c_str());  // flush any cached copy
    std::string bytes = ReadBytes(ini_);
    EXPECT_NE(bytes.find("[节点]"), std::string::npos);
    EXPECT_NE(bytes.find("节点名称=香港服务器"), std::string::npos);
}

TEST(SettingsDefaults, DefaultStorageFolderIsUnderTheDocumentsFolder) {
    std::string folder = core::DefaultStorageFolder();
    ASSERT_TRUE(sys::EndsWith(folder, "\\\\Zerav")) << folder;
    EXPECT_TRUE(core::DirectoryExists(folder.substr(0, folder.size() - 7)));
    EXPECT_TRUE(sys::EndsWith(core::SettingsPath(), "\\data\\Config.ini"));
}

TEST_F(Settings, ValuesReadBackWithoutTheBlanksAndQuotesAroundThemAsTheProgramExpects) {
    // What the rotation window checks before it stores a period, against the real reader.
    const std::vector<std::string> written = {"\"1\"", "'3'",    " 4",     "\t\"2\"", "\"7",     "\"\"",
                                              "\"12'", "x\"1\"", "\" 1\"", "'",       "\"'5'\"", "8 "};
    for (const std::string& v : written) {
        WriteIni("自动更换", "周期", v);
        EXPECT_EQ(core::ReadSettingAt(ini_, "自动更换", "周期", "5"), core::ProfileValueAsReadBack(v)) << v;
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini_.c_str());  // read from disk too
        EXPECT_EQ(core::ReadSettingAt(ini_, "自动更换", "周期", "5"), core::ProfileValueAsReadBack(v)) << v;
    }
    EXPECT_EQ(core::ProfileValueAsReadBack(" \"1\" "), "1");
}

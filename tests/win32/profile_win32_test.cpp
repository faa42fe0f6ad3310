// The Windows profile gives back every value as it was written, whatever its script, whether the
// writes went one by one or together, and carries over a file an earlier run wrote in the
// system's code page. It works on the user's own profile, which each test puts back as it was.
#include "win32/ProfileWin32.h"
#include "win32/Win32Api.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace {

using EWrites = CProfileWin32::EWrites;

std::string FileBytes(const std::wstring &strPath)
{
    std::ifstream file(strPath.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::wstring &strPath, const std::string &strBytes)
{
    std::ofstream(strPath.c_str(), std::ios::binary | std::ios::trunc) << strBytes;
}

class ProfileWin32Test : public testing::TestWithParam<EWrites>
{
protected:
    void SetUp() override
    {
        m_bHadFile = GetFileAttributesW(m_strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
        m_strSaved = FileBytes(m_strPath);
        DeleteFileW(m_strPath.c_str());
    }
    void TearDown() override
    {
        DeleteFileW(m_strPath.c_str());
        if (m_bHadFile)
            WriteBytes(m_strPath, m_strSaved);
    }

    const std::wstring m_strPath = CProfileWin32::ProfilePath();
    bool m_bHadFile = false;
    std::string m_strSaved;
};

// Values a console command or a port name may hold (UTF-8).
const char *const kValues[] = {"AT+NAME?", "AT+NAME=\xE8\x93\x9D\xE7\x89\x99",
                               "AT+NAME=\xF0\x9F\x98\x80", "COM7", ""};

// A file of an earlier run, in the code page without a mark: what it held stays, and what is
// written now keeps its characters.
TEST_P(ProfileWin32Test, ValuesReadBackAsWrittenOverAnEarlierFile)
{
    WriteBytes(m_strPath, "[Settings]\r\nPortNum=3\r\n");
    {
        CProfileWin32 profile(GetParam());
        for (size_t i = 0; i < std::size(kValues); ++i)
            profile.WriteString("Console", "Command" + std::to_string(i + 1), kValues[i]);
    }
    CProfileWin32 reader;
    for (size_t i = 0; i < std::size(kValues); ++i)
        EXPECT_EQ(reader.ReadString("Console", "Command" + std::to_string(i + 1)), kValues[i]);
    EXPECT_EQ(reader.ReadString("Settings", "PortNum"), "3");
}

// Writes and removals change only their keys, however large the section (longer than a first
// read of it takes), and a batch's reads see its own writes.
TEST_P(ProfileWin32Test, WritesChangeOnlyTheirKeys)
{
    const std::string strLong(300, 'x');
    {
        CProfileWin32 profile(EWrites::Batched);
        for (int i = 1; i <= 100; ++i)
            profile.WriteString("Console", "Command" + std::to_string(i), strLong);
        profile.WriteString("Settings", "Language", "en");
    }
    {
        CProfileWin32 profile(GetParam());
        profile.WriteString("Console", "command1", "AT");
        profile.Remove("Console", "Command2");
        profile.WriteString("Console", "LineEnding", "cr");
        EXPECT_EQ(profile.ReadString("Console", "Command1"), "AT");
        EXPECT_EQ(profile.ReadString("Console", "Command2"), std::nullopt);
    }
    CProfileWin32 reader;
    EXPECT_EQ(reader.ReadString("Console", "Command1"), "AT");
    EXPECT_EQ(reader.ReadString("Console", "Command2"), std::nullopt);
    for (int i = 3; i <= 100; ++i)
        EXPECT_EQ(reader.ReadString("Console", "Command" + std::to_string(i)), strLong) << i;
    EXPECT_EQ(reader.ReadString("Console", "LineEnding"), "cr");
    EXPECT_EQ(reader.ReadString("Settings", "Language"), "en");
}

INSTANTIATE_TEST_SUITE_P(Writes, ProfileWin32Test,
                         testing::Values(EWrites::Immediate, EWrites::Batched),
                         [](const auto &info) {
                             return info.param == EWrites::Batched ? "Batched" : "Immediate";
                         });

} // namespace

// The package version library as installers see it: its version resource read
// back through the platform's version functions, and a load that does nothing.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Handles.h"

namespace
{
std::wstring LibraryPath()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\')) + L"\\NarviVersion.dll";
}

class NarviVersionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DWORD dwHandle = 0;
        DWORD dwSize = ::GetFileVersionInfoSizeW(LibraryPath().c_str(), &dwHandle);
        ASSERT_NE(0u, dwSize) << "no version resource, error " << ::GetLastError();
        m_info.resize(dwSize);
        ASSERT_TRUE(::GetFileVersionInfoW(LibraryPath().c_str(), 0, dwSize, m_info.data()));
    }

    std::wstring String(const wchar_t* pszKey)
    {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + pszKey;
        wchar_t* pszValue = nullptr;
        UINT uLen = 0;
        if (!::VerQueryValueW(m_info.data(), path.c_str(), reinterpret_cast<void**>(&pszValue), &uLen) || !pszValue)
            return L"<missing>";
        return pszValue;
    }

    std::vector<BYTE> m_info;
};

TEST_F(NarviVersionTest, FixedPartCarriesPackageVersion)
{
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT uLen = 0;
    ASSERT_TRUE(::VerQueryValueW(m_info.data(), L"\\", reinterpret_cast<void**>(&pFixed), &uLen));
    ASSERT_GE(uLen, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(0xFEEF04BDu, pFixed->dwSignature);
    EXPECT_EQ(0x00010000u, pFixed->dwStrucVersion);
    EXPECT_EQ(0x00050000u, pFixed->dwFileVersionMS);
    EXPECT_EQ(0x05200FBBu, pFixed->dwFileVersionLS);  // 1312.4027
    EXPECT_EQ(0x00050000u, pFixed->dwProductVersionMS);
    EXPECT_EQ(0x05200FBBu, pFixed->dwProductVersionLS);
    EXPECT_EQ(0x17u, pFixed->dwFileFlagsMask);
    EXPECT_EQ(0u, pFixed->dwFileFlags);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), pFixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), pFixed->dwFileType);
    EXPECT_EQ(0u, pFixed->dwFileSubtype);
    EXPECT_EQ(0u, pFixed->dwFileDateMS);
    EXPECT_EQ(0u, pFixed->dwFileDateLS);
}

TEST_F(NarviVersionTest, StringTableAndTranslation)
{
    EXPECT_EQ(L"5, 0, 1312, 4027", String(L"FileVersion"));
    EXPECT_EQ(L"5, 0, 1312, 4027", String(L"ProductVersion"));
    EXPECT_EQ(L"Velmora (Narvi) driver package Version info", String(L"FileDescription"));
    EXPECT_EQ(L"Velmora (Narvi) driver package Version info", String(L"ProductName"));
    EXPECT_EQ(L"NarviVersion", String(L"InternalName"));
    EXPECT_EQ(L"NarviVersion.dll", String(L"OriginalFilename"));
    EXPECT_NE(L"<missing>", String(L"LegalCopyright"));

    WORD* pTranslation = nullptr;
    UINT uLen = 0;
    ASSERT_TRUE(::VerQueryValueW(m_info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation),
                                 &uLen));
    ASSERT_EQ(4u, uLen);
    EXPECT_EQ(0x0409, pTranslation[0]);
    EXPECT_EQ(0x04B0, pTranslation[1]);
}

TEST(NarviVersionLoad, LoadsAndUnloadsWithoutExports)
{
    for (int round = 0; round < 2; ++round)
    {
        HMODULE hLibrary = ::LoadLibraryW(LibraryPath().c_str());
        ASSERT_NE(nullptr, hLibrary) << ::GetLastError();
        EXPECT_EQ(nullptr, ::GetProcAddress(hLibrary, "DllMain"));
        EXPECT_EQ(nullptr, ::GetProcAddress(hLibrary, MAKEINTRESOURCEA(1)));
        EXPECT_TRUE(::FreeLibrary(hLibrary));
        EXPECT_EQ(nullptr, ::GetModuleHandleW(L"NarviVersion.dll")) << "still loaded after FreeLibrary";
    }
}
}  // namespace

// Reads VigilantMouse.exe as Windows does: its resources through the platform's own calls, and
// its PE header and imports from the file.
#include "Desktop.h"
#include "VersionInfo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using testing::ElementsAreArray;

namespace {
std::string ExePath() { return ExeUnderTest(); }

class Resources : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Loaded as data: nothing of it runs.
        exe = LoadLibraryExA(ExePath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(exe, nullptr) << GetLastError();
    }
    static std::string Load(LPCSTR type, LPCSTR name)
    {
        HRSRC found = FindResourceA(exe, name, type);
        if (!found)
            return {};
        return {static_cast<const char*>(LockResource(LoadResource(exe, found))),
                SizeofResource(exe, found)};
    }
    static inline HMODULE exe;
};

std::string ResourceName(LPCSTR name)
{
    return IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : name;
}

TEST_F(Resources, AreExactlyTheIconsTheIconGroupTheVersionAndTheManifestInUsEnglish)
{
    std::vector<std::string> found;
    EnumResourceTypesA(
        exe,
        [](HMODULE module, LPSTR type, LONG_PTR param) -> BOOL {
            return EnumResourceNamesA(
                module, type,
                [](HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) -> BOOL {
                    return EnumResourceLanguagesA(
                        module, type, name,
                        [](HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param) -> BOOL {
                            char entry[128];
                            snprintf(entry, sizeof entry, "%s %s %04x", ResourceName(type).c_str(),
                                     ResourceName(name).c_str(), language);
                            reinterpret_cast<std::vector<std::string>*>(param)->push_back(entry);
                            return TRUE;
                        },
                        param);
                },
                param);
        },
        reinterpret_cast<LONG_PTR>(&found));

    EXPECT_THAT(found, ElementsAreArray({"3 1 0409", "3 2 0409", "3 3 0409", "3 4 0409", "3 5 0409",
                                         "3 6 0409", "3 7 0409", "3 8 0409", "3 9 0409",
                                         "14 VIGILANTMOUSE_ICON 0409", "16 1 0409", "24 1 0409"}));
}

#pragma pack(push, 2)
struct IconGroupHeader { WORD reserved, type, count; };
struct IconGroupEntry { BYTE width, height, colours, reserved; WORD planes, bitsPerPixel; DWORD bytes; WORD id; };
#pragma pack(pop)

TEST_F(Resources, IconGroupHoldsNineImagesFromFourBitsToAlpha)
{
    const std::string group = Load(RT_GROUP_ICON, "VIGILANTMOUSE_ICON");
    ASSERT_GE(group.size(), sizeof(IconGroupHeader));
    const auto* header = reinterpret_cast<const IconGroupHeader*>(group.data());
    ASSERT_EQ(group.size(), sizeof *header + header->count * sizeof(IconGroupEntry));
    const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 1);

    // id, size and depth as the group lists them, then as the image itself says.
    std::vector<std::string> listed, images;
    for (int i = 0; i < header->count; ++i) {
        const IconGroupEntry& entry = entries[i];
        const int size = entry.width ? entry.width : 256;
        listed.push_back(std::to_string(entry.id) + ": " + std::to_string(size) + " " +
                         std::to_string(entry.bitsPerPixel));
        const std::string image = Load(RT_ICON, MAKEINTRESOURCEA(entry.id));
        const auto* bitmap = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
        images.push_back(image.size() < sizeof *bitmap
                             ? "missing"
                             : std::to_string(entry.id) + ": " + std::to_string(bitmap->biWidth) +
                                   " " + std::to_string(bitmap->biBitCount));
    }
    const std::vector<std::string> expected{"1: 48 4", "2: 32 4", "3: 16 4", "4: 48 8", "5: 32 8",
                                            "6: 16 8", "7: 48 32", "8: 32 32", "9: 16 32"};
    EXPECT_THAT(listed, ElementsAreArray(expected));
    EXPECT_THAT(images, ElementsAreArray(expected));
}

// Every value below the version block's root, in the order it is stored: "path = value".
// The root's own value, the fixed part, is read through the platform's reader instead.
void WalkVersionBlock(const BYTE* block, const std::string& path, std::vector<std::string>& out,
                      bool isRoot = true)
{
    auto align = [base = block](const BYTE* p) { return base + ((p - base + 3) & ~3); };
    const auto* words = reinterpret_cast<const WORD*>(block);
    const WORD length = words[0], valueLength = words[1], isText = words[2];
    const auto* key = reinterpret_cast<const wchar_t*>(block + 6);
    const std::string name(key, key + wcslen(key));
    const std::string here = path.empty() ? name : path + "/" + name;

    const BYTE* value = align(reinterpret_cast<const BYTE*>(key + wcslen(key) + 1));
    const BYTE* valueEnd = value + (isText ? valueLength * sizeof(wchar_t) : valueLength);
    if (isText && valueLength) {
        const auto* text = reinterpret_cast<const wchar_t*>(value);
        out.push_back(here + " = " + std::string(text, text + wcslen(text)));
    } else if (!isText && valueLength && !isRoot) {
        char hex[8];
        std::string bytes;
        for (const BYTE* b = value; b < valueEnd; ++b)
            bytes += (snprintf(hex, sizeof hex, "%02x", *b), hex);
        out.push_back(here + " = " + bytes);
    }
    for (const BYTE* child = align(valueEnd); child < block + length;
         child = align(child + *reinterpret_cast<const WORD*>(child)))
        WalkVersionBlock(child, isRoot ? "" : here, out, false);
}

TEST_F(Resources, VersionBlockHasTheTenStringsInOrderAndTheUkEnglishTranslation)
{
    const std::string block = Load(RT_VERSION, MAKEINTRESOURCEA(1));
    ASSERT_FALSE(block.empty());
    std::vector<std::string> values;
    WalkVersionBlock(reinterpret_cast<const BYTE*>(block.data()), "", values);

    const std::string strings = "StringFileInfo/080904b0/";
    EXPECT_THAT(values, ElementsAreArray({
        strings + "FileDescription = Screensaver blocker",
        strings + "ProductName = VigilantMouse",
        strings + "ProductVersion = " VIGILANTMOUSE_VERSION_TEXT,
        strings + "FileVersion = " VIGILANTMOUSE_VERSION_TEXT,
        strings + "InternalName = VigilantMouse",
        strings + "OriginalFilename = VigilantMouse.exe",
        strings + "CompanyName = " VIGILANTMOUSE_COMPANY,
        strings + "LegalCopyright = " VIGILANTMOUSE_COPYRIGHT,
        strings + "Info = " VIGILANTMOUSE_INFO,
        strings + "Comment = Stops the screensaver from locking the desktop.",
        std::string("VarFileInfo/Translation = 0908b004"),  // 0x0809, 0x04b0, little-endian
    }));

    // The fixed part, and the translation as the platform's own reader finds it.
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(ExePath().c_str(), &ignored));
    ASSERT_TRUE(GetFileVersionInfoA(ExePath().c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileOS, DWORD{VOS__WINDOWS32});
    EXPECT_EQ(fixed->dwFileType, DWORD{VFT_APP});
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &size));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(translation[0], 0x0809);
    EXPECT_EQ(translation[1], 0x04b0);
}

TEST_F(Resources, ManifestDeclaresEveryElementInOrder)
{
    const std::string manifest = Load(RT_MANIFEST, MAKEINTRESOURCEA(1));
    const char* const elements[] = {
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)",
        R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)",
        R"(<assemblyIdentity version="1.0.0.0" processorArchitecture="*" name="VigilantMouse.exe" type="win32"/>)",
        R"(<description>Stops the screensaver from locking the desktop.</description>)",
        R"(<dependency>)", R"(<dependentAssembly>)",
        R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
        R"(processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>)",
        R"(<application xmlns="urn:schemas-microsoft-com:asm.v3">)",
        R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>)",
        R"(<trustInfo xmlns="urn:schemas-microsoft-com:asm.v2">)",
        R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
        R"(<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">)",
        R"(<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>)",
        R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)",
        R"(<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>)",
        R"(<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>)",
        R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",
        R"(</assembly>)",
    };
    std::size_t from = 0;
    for (const char* element : elements) {
        const std::size_t at = manifest.find(element, from);
        EXPECT_NE(at, std::string::npos) << "missing or out of order: " << element;
        from = at == std::string::npos ? from : at + 1;
    }
}

// GUI subsystem, 64-bit, hardened as far as its toolchain can, and nothing imported beyond the
// system's own DLLs. The psapi calls come from PSAPI.DLL: Vista's kernel32 has no K32 exports.
TEST(Executable, IsAHardened64BitGuiProgramImportingOnlySystemDlls)
{
    const std::string image = FileBytes(ExePath());
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
        image.data() + reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data())->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

    // What a changed linker flag could drop without any other test noticing: a random load
    // address anywhere in 64-bit space, with the relocations that make it possible, and no data
    // run as code. Forced integrity checks would refuse to start it unsigned.
    const WORD characteristics = nt->OptionalHeader.DllCharacteristics;
    for (const auto& [bit, name] : {std::pair{IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA, "HIGH_ENTROPY_VA"},
                                    std::pair{IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, "DYNAMIC_BASE"},
                                    std::pair{IMAGE_DLLCHARACTERISTICS_NX_COMPAT, "NX_COMPAT"}})
        EXPECT_TRUE(characteristics & bit) << name << " is not set in " << std::hex << characteristics;
    EXPECT_FALSE(characteristics & IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY);
    EXPECT_GT(nt->OptionalHeader.ImageBase, 0xFFFFFFFFull) << "an image base below 4 GiB";
    EXPECT_GT(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u) << "no relocations";

    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    auto at = [&](DWORD rva) -> const char* {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i)
            if (rva >= sections[i].VirtualAddress &&
                rva < sections[i].VirtualAddress + sections[i].Misc.VirtualSize)
                return image.data() + rva - sections[i].VirtualAddress + sections[i].PointerToRawData;
        return nullptr;
    };
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
        const DWORD flags = sections[i].Characteristics;
        const auto* name = reinterpret_cast<const char*>(sections[i].Name);
        const std::string section(name, strnlen(name, sizeof sections[i].Name));
        EXPECT_FALSE((flags & IMAGE_SCN_MEM_WRITE) && (flags & IMAGE_SCN_MEM_EXECUTE))
            << section << " is writable and executable";
        EXPECT_FALSE((flags & IMAGE_SCN_MEM_WRITE) && (flags & IMAGE_SCN_MEM_SHARED))
            << section << " is shared and writable";
    }

    std::vector<std::string> dlls, calls, psapiCalls, kernelK32Calls;
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
             at(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress));
         import && import->Name; ++import) {
        std::string dll = at(import->Name);
        for (char& c : dll)
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        dlls.push_back(dll);
        for (auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA64*>(at(import->OriginalFirstThunk));
             thunk->u1.AddressOfData; ++thunk) {
            const std::string call = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
                                         at(static_cast<DWORD>(thunk->u1.AddressOfData)))->Name;
            calls.push_back(call);
            if (dll == "PSAPI.DLL")
                psapiCalls.push_back(call);
            if (call.rfind("K32", 0) == 0)
                kernelK32Calls.push_back(call);
        }
    }
    // MinGW's C runtime is the system's msvcrt.dll; MSVC's static one imports nothing.
    EXPECT_THAT(dlls, testing::IsSubsetOf({"KERNEL32.DLL", "MSVCRT.DLL", "PSAPI.DLL", "USER32.DLL"}));
    EXPECT_THAT(dlls, testing::IsSupersetOf({"KERNEL32.DLL", "PSAPI.DLL", "USER32.DLL"}));
    EXPECT_THAT(psapiCalls, testing::UnorderedElementsAre("EnumProcesses", "EnumProcessModules",
                                                          "GetModuleBaseNameA", "GetModuleFileNameExA"));
    EXPECT_THAT(kernelK32Calls, testing::IsEmpty());
    // Looked up at run time, so that a Windows without it still starts the program.
    EXPECT_THAT(calls, testing::Not(testing::Contains("SetDefaultDllDirectories")));
}
}  // namespace

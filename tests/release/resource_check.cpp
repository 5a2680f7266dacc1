// Reads back the version resource and the application manifest of a built program
// through the Windows functions that Explorer and inventory tools use, and compares
// them with what the build put in.
//   resource_check PROGRAM FILE_NAME VERSION NUMBERS DESCRIPTION
// NUMBERS: the four numbers of the version, separated by commas (1,0,0,0). Prints one
// line for each mismatch; exit status 0 when there is none.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Expected {
    const char* program;
    const char* fileName;
    const char* version;
    const char* numbers;
    const char* description;
};

int failures = 0;

void Fail(const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
}

void CheckFixedInfo(const void* data, const Expected& expected) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data, "\\", reinterpret_cast<void**>(&fixed), &length) == FALSE ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != VS_FFI_SIGNATURE) {
        Fail("no fixed version information");
        return;
    }
    char file[64];
    char product[64];
    std::snprintf(file, sizeof file, "%u,%u,%u,%u", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
    std::snprintf(product, sizeof product, "%u,%u,%u,%u", HIWORD(fixed->dwProductVersionMS),
                  LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
                  LOWORD(fixed->dwProductVersionLS));
    if (std::strcmp(file, expected.numbers) != 0) {
        Fail(std::string("file version ") + file + ", expected " + expected.numbers);
    }
    if (std::strcmp(product, expected.numbers) != 0) {
        Fail(std::string("product version ") + product + ", expected " + expected.numbers);
    }
    if (fixed->dwFileType != VFT_APP) {
        Fail("the file type is not an application");
    }
    if ((fixed->dwFileFlags & fixed->dwFileFlagsMask) != 0) {
        Fail("flagged as a debug, patched, pre-release or private build");
    }
}

// The strings are looked up under the language and code page that the resource lists
// first, as Explorer does.
void CheckStrings(const void* data, const Expected& expected) {
    WORD* translation = nullptr;
    UINT length = 0;
    if (VerQueryValueA(data, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                       &length) == FALSE ||
        length < 2 * sizeof(WORD)) {
        Fail("no translation table");
        return;
    }
    if (translation[0] != 0x0409 || translation[1] != 1200) {
        Fail("the strings are not U.S. English in Unicode");
    }
    char block[32];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation[0],
                  translation[1]);
    const char* const fields[][2] = {
        {"FileVersion", expected.version},
        {"ProductVersion", expected.version},
        {"ProductName", "Quorvin"},
        {"FileDescription", expected.description},
        {"OriginalFilename", expected.fileName},
    };
    for (const auto& field : fields) {
        const std::string path = std::string(block) + field[0];
        char* value = nullptr;
        if (VerQueryValueA(data, path.c_str(), reinterpret_cast<void**>(&value), &length) ==
                FALSE ||
            length == 0) {
            Fail(std::string("no ") + field[0]);
        } else if (std::strcmp(value, field[1]) != 0) {
            Fail(std::string(field[0]) + " is \"" + value + "\", expected \"" + field[1] + "\"");
        }
    }
}

void CheckVersionResource(const Expected& expected) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(expected.program, &handle);
    if (size == 0) {
        Fail(std::string("no version resource in ") + expected.program);
        return;
    }
    std::vector<char> data(size);
    if (GetFileVersionInfoA(expected.program, 0, size, data.data()) == FALSE) {
        Fail("GetFileVersionInfoA failed");
        return;
    }
    CheckFixedInfo(data.data(), expected);
    CheckStrings(data.data(), expected);
}

std::string ReadManifest(const char* program) {
    const HMODULE module = LoadLibraryExA(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return "";
    }
    std::string text;
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
        text.assign(static_cast<const char*>(bytes), SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

// Never a UAC prompt, and every Windows from 7 to 11 declared as supported.
void CheckManifest(const Expected& expected) {
    const std::string manifest = ReadManifest(expected.program);
    if (manifest.empty()) {
        Fail("no application manifest (resource 1 of type RT_MANIFEST)");
        return;
    }
    if (manifest.find("level=\"asInvoker\"") == std::string::npos) {
        Fail("the manifest does not ask for asInvoker");
    }
    const char* const systems[][2] = {
        {"Windows 7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"},
        {"Windows 8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"},
        {"Windows 8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"},
        {"Windows 10 and 11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"},
    };
    for (const auto& system : systems) {
        if (manifest.find(std::string("<supportedOS Id=\"") + system[1] + "\"/>") ==
            std::string::npos) {
            Fail(std::string("the manifest does not declare ") + system[0]);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: resource_check PROGRAM FILE_NAME VERSION NUMBERS DESCRIPTION\n");
        return 2;
    }
    const Expected expected{argv[1], argv[2], argv[3], argv[4], argv[5]};
    CheckVersionResource(expected);
    CheckManifest(expected);
    if (failures == 0) {
        std::printf("ok: %s: version %s (%s), \"%s\", manifest asInvoker for Windows 7 to 11\n",
                    expected.fileName, expected.version, expected.numbers, expected.description);
    }
    return failures == 0 ? 0 : 1;
}

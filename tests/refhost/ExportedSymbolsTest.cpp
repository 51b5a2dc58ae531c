// The plug-in's dynamic symbol table defines exactly one symbol; on Windows the
// export table names PluginEntry alone and the imports are system DLLs only.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <cctype>

namespace {

// The export and import tables of a loaded module, read from its PE headers
// as a host's loader sees them.
struct PeTables {
    WORD machine = 0;
    std::set<std::string> exports;
    std::set<std::string> imports; // lower case
};

PeTables peTables(HMODULE module) {
    const auto* base = reinterpret_cast<const uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    PeTables tables;
    tables.machine = nt->FileHeader.Machine;
    const IMAGE_DATA_DIRECTORY& exportDir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exportDir.Size != 0) {
        const auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exportDir.VirtualAddress);
        const auto* names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
        for (DWORD i = 0; i < dir->NumberOfNames; ++i)
            tables.exports.insert(reinterpret_cast<const char*>(base + names[i]));
        // Exports by ordinal alone would not show among the names.
        EXPECT_EQ(dir->NumberOfFunctions, dir->NumberOfNames);
    }
    const IMAGE_DATA_DIRECTORY& importDir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (importDir.Size != 0) {
        for (const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + importDir.VirtualAddress);
             d->Name != 0; ++d) {
            std::string name = reinterpret_cast<const char*>(base + d->Name);
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            tables.imports.insert(name);
        }
    }
    return tables;
}

} // namespace

TEST(ExportedSymbols, OnlyPluginEntryIsExportedAndOnlySystemDllsImported) {
    HMODULE module = LoadLibraryA(VELMORA_PLUGIN_PATH);
    ASSERT_NE(module, nullptr);
    const PeTables tables = peTables(module);
    FreeLibrary(module);
    EXPECT_EQ(tables.machine, sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(tables.exports, std::set<std::string>{"PluginEntry"});
    // The C++ runtime, libgcc and winpthread are linked in, not imported.
    const std::set<std::string> system{"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll",
                                       "ntdll.dll"};
    EXPECT_FALSE(tables.imports.empty());
    for (const std::string& name : tables.imports)
        EXPECT_TRUE(system.count(name) != 0) << "imports " << name;
}

#else

TEST(ExportedSymbols, OnlyPluginEntryIsDefined) {
    const std::string command = std::string("nm -D --defined-only '") + VELMORA_PLUGIN_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        if (!name.empty())
            names.insert(name);
    }
    EXPECT_EQ(names, std::set<std::string>{"PluginEntry"});
}

#endif

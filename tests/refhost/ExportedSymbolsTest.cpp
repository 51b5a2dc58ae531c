// The plug-in's dynamic symbol table defines exactly one symbol.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

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

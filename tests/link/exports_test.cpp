// The shared library exports exactly the functions the public header declares.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> declaredNames() {
    std::ifstream header(VARROK_HEADER_FILE);
    std::stringstream text;
    text << header.rdbuf();
    const std::string all = text.str();
    const std::regex declaration(R"(\nVARROK_API\s+[A-Za-z_ ]+?\**\s*\**\s*([A-Za-z_][A-Za-z0-9_]*)\s*\()");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(all.begin(), all.end(), declaration); it != std::sregex_iterator();
         ++it)
        names.insert((*it)[1]);
    return names;
}

std::set<std::string> exportedNames() {
    const std::string command = std::string("nm -D --defined-only ") + VARROK_LIBRARY_FILE;
    std::set<std::string> names;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name) names.insert(name);
    }
    ::pclose(pipe);
    return names;
}

TEST(Exports, LibraryExportsExactlyTheHeader) {
    const auto declared = declaredNames();
    const auto exported = exportedNames();
    for (const auto& name : declared)
        EXPECT_TRUE(exported.count(name)) << name << " is declared but not exported";
    for (const auto& name : exported)
        EXPECT_TRUE(declared.count(name)) << name << " is exported but not declared";
    // The library's own functions plus the card tool's three connection entries.
    EXPECT_EQ(declared.size(), 269u);
}

} // namespace

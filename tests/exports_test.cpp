// The shared library's dynamic symbol table against the public header:
// only gc entry points leave the library, each is declared in the header,
// and (once every area has landed) each declared entry point is exported.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string run(const std::string &cmd) {
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

// Names of the defined dynamic symbols of the shared library.
std::set<std::string> exported() {
    std::set<std::string> names;
    std::istringstream in(run("nm -D --defined-only '" GONIOCTL_SO_PATH "'"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string addr, type, name;
        if (fields >> addr >> type >> name) names.insert(name);
    }
    return names;
}

// Symbols the header declares: the name after GC_API int32_t, or the text of
// GC_SYMBOL("...") when the declaration carries one.
std::set<std::string> declared() {
    std::ifstream f(GONIOCTL_HEADER_PATH);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string text = ss.str();
    std::set<std::string> names;
    const std::regex decl(R"(GC_API\s+int32_t\s+(\w+)\s*\(([^;]*);)");
    const std::regex sym(R"(GC_SYMBOL\(\"([^\"]+)\"\))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), decl);
         it != std::sregex_iterator(); ++it) {
        std::smatch s;
        const std::string rest = (*it)[2].str();
        if (std::regex_search(rest, s, sym)) {
            names.insert(s[1].str());
        } else {
            names.insert((*it)[1].str());
        }
    }
    return names;
}

}  // namespace

TEST(ExportsTest, HeaderDeclaresTheEntryPoints) {
    const auto names = declared();
    EXPECT_EQ(names.size(), 68u);
    EXPECT_TRUE(names.count("gcget_error_text"));
    EXPECT_TRUE(names.count("gc$is_open"));
    EXPECT_TRUE(names.count("gc$stage_is_motorized"));
    EXPECT_FALSE(names.count("gc_is_open"));
}

TEST(ExportsTest, OnlyDeclaredGcSymbolsAreExported) {
    const auto names = exported();
    ASSERT_FALSE(names.empty()) << "no dynamic symbols read from " GONIOCTL_SO_PATH;
    const auto header = declared();
    for (const auto &n : names) {
        EXPECT_EQ(n.rfind("gc", 0), 0u) << "exported symbol without the gc prefix: " << n;
        EXPECT_TRUE(header.count(n)) << "exported but not declared in the header: " << n;
    }
}

TEST(ExportsTest, EveryDeclaredEntryPointIsExported) {
    const auto names = exported();
    for (const auto &n : declared()) {
        EXPECT_TRUE(names.count(n)) << "declared but not exported: " << n;
    }
}

TEST(ExportsTest, SonameCarriesTheMajorVersion) {
    const std::string out = run("objdump -p '" GONIOCTL_SO_PATH "'");
    EXPECT_NE(out.find("SONAME               libgonioctl.so.1\n"), std::string::npos) << out;
}

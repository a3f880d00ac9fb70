// The source folders form layers: each includes only from the folders below
// it, so that the converter stays a library the programs sit on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The layers from the bottom up.
const std::map<std::string, int> layer = {
    {"core", 0}, {"midi", 1}, {"arrange", 2}, {"tune", 3}, {"convert", 4}, {"options", 5}, {"app", 6},
};

TEST(LayeringTest, EveryFolderIncludesOnlyFromTheLayersBelow)
{
    const fs::path src = fs::absolute(MIDI2VARN_SOURCE_DIR) / "src";
    const std::regex include(R"(^\s*#\s*include\s*"([a-z]+)/)");
    // Work runs on one thread: only the conversion could hand it to others.
    const std::regex concurrency(R"(#\s*include\s*<(thread|mutex|future|condition_variable)>|thread_local)");
    int files = 0;
    int includes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file())
            continue;
        const std::string folder = fs::relative(entry.path(), src).begin()->string();
        const auto own = layer.find(folder);
        ASSERT_NE(own, layer.end()) << "a folder of no known layer: " << folder;
        ++files;
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            EXPECT_FALSE(folder != "convert" && std::regex_search(line, concurrency))
                << entry.path() << ":" << number << " (" << folder << ") names a thread";
            std::smatch match;
            if (!std::regex_search(line, match, include))
                continue;
            ++includes;
            const auto used = layer.find(match[1].str());
            ASSERT_NE(used, layer.end()) << entry.path() << ":" << number << " includes from " << match[1];
            EXPECT_LE(used->second, own->second)
                << entry.path() << ":" << number << " (" << folder << ") includes from " << match[1];
            // The programs are front ends: no library folder includes app.
            EXPECT_FALSE(used->first == "app" && folder != "app") << entry.path() << ":" << number;
        }
    }
    // The walk really saw the tree.
    EXPECT_GT(files, 20);
    EXPECT_GT(includes, 40);
}

// One unit, one name: every source file implements the header of its own
// name and includes it first, so that a header's code is found beside it.
// The two programs have no header.
TEST(LayeringTest, EverySourceIncludesItsOwnHeaderFirst)
{
    const fs::path src = fs::absolute(MIDI2VARN_SOURCE_DIR) / "src";
    const std::set<std::string> programs = {"app/midi2varn.cpp", "app/varn2midi.cpp"};
    const std::regex include(R"re(^\s*#\s*include\s*"([^"]+)")re");
    int sources = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".cpp")
            continue;
        const std::string name = fs::relative(entry.path(), src).generic_string();
        if (programs.count(name) != 0)
            continue;
        ++sources;
        const std::string own = fs::path(name).replace_extension(".h").generic_string();
        EXPECT_TRUE(fs::exists(src / own)) << name << " has no header " << own;
        std::ifstream in(entry.path());
        std::string line;
        std::string first;
        while (first.empty() && std::getline(in, line)) {
            std::smatch match;
            if (std::regex_search(line, match, include))
                first = match[1].str();
        }
        EXPECT_EQ(first, own) << name << " includes first another header than its own";
    }
    EXPECT_GT(sources, 20);
}

// The names a source file defines outside an anonymous namespace, from
// definitions that begin at the line start: `Class::member` or `function`.
std::vector<std::string> definedNames(std::istream& in)
{
    static const std::regex definition(R"re(^[A-Za-z_][\w:<>,\s*&]*?[\s*&]([\w:~]+)\()re");
    static const std::regex statement(R"re(^(static|return|if|for|while|using|typedef)\b)re");
    std::vector<std::string> names;
    int anonymous = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("namespace {", 0) == 0) {
            ++anonymous;
            continue;
        }
        if (line.rfind("} // namespace", 0) == 0 && anonymous > 0) {
            --anonymous;
            continue;
        }
        std::smatch match;
        if (anonymous > 0 || std::regex_search(line, statement) || !std::regex_search(line, match, definition) ||
            line.find(';') != std::string::npos)
            continue;
        names.push_back(match[1].str());
    }
    return names;
}

TEST(LayeringTest, EverySourceImplementsOnlyItsOwnHeader)
{
    const fs::path src = fs::absolute(MIDI2VARN_SOURCE_DIR) / "src";
    const std::set<std::string> programs = {"app/midi2varn.cpp", "app/varn2midi.cpp"};
    int definitions = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const std::string name = fs::relative(entry.path(), src).generic_string();
        if (!entry.is_regular_file() || entry.path().extension() != ".cpp" || programs.count(name) != 0)
            continue;
        std::ifstream headerFile(fs::path(entry.path()).replace_extension(".h"));
        std::stringstream header;
        header << headerFile.rdbuf();
        std::ifstream in(entry.path());
        for (const std::string& defined : definedNames(in)) {
            ++definitions;
            const std::size_t scope = defined.find("::");
            // A member belongs to a class of the own header; a function is declared there.
            const std::string wanted = scope == std::string::npos
                                           ? "\\b" + defined + "\\s*\\("
                                           : "\\b(class|struct)\\s+" + defined.substr(0, scope) + "\\b";
            EXPECT_TRUE(std::regex_search(header.str(), std::regex(wanted)))
                << name << " defines " << defined << ", which its own header does not declare";
        }
    }
    EXPECT_GT(definitions, 150);
}

} // namespace

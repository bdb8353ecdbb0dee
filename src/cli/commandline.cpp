#include "commandline.h"

#include <algorithm>
#include <array>
#include <vector>

namespace velmora::CommandLine {

namespace {

constexpr std::array<Option, 2> standardOptions{{
    {"--help", "display this help and exit"},
    {"--version", "output version information and exit"},
}};

std::string helpText(const Program &program)
{
    std::string text = "Usage: ";
    text.append(program.name).append(" [OPTION]...");
    if (!program.arguments.empty())
        text.append(" ").append(program.arguments);
    text.append("\n").append(program.about).append("\n\n");

    std::vector<Option> options(program.options.begin(), program.options.end());
    options.insert(options.end(), standardOptions.begin(), standardOptions.end());
    std::size_t width = 0;
    for (const Option &option : options)
        width = std::max(width, option.name.size());
    for (const Option &option : options) {
        text.append("      ").append(option.name);
        text.append(width - option.name.size() + 3, ' ').append(option.description).append("\n");
    }
    return text;
}

std::string versionText(const Program &program)
{
    std::string text(program.name);
    text.append(" " VELMORA_VERSION "\n"
                "Copyright (C) 2026 the Velmora developers.\n");
    return text;
}

} // namespace

std::optional<std::string> standardAnswer(const Program &program, int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument == "--help")
            return helpText(program);
        if (argument == "--version")
            return versionText(program);
    }
    return std::nullopt;
}

} // namespace velmora::CommandLine

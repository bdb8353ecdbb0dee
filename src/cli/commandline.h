#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora::CommandLine {

struct Option
{
    std::string_view name;        // with its dashes: "--gallery"
    std::string_view description; // one line
};

// What a program says about itself on --help and --version.
struct Program
{
    std::string_view name;           // "velmora"
    std::string_view arguments;      // after the options in the usage line; may be empty
    std::string_view about;          // lines after the usage line
    std::span<const Option> options; // its own, before --help and --version
};

// The text for standard output when an argument before any "--" is exactly "--help" or
// "--version" (the first of them decides); nothing when neither is asked for.
std::optional<std::string> standardAnswer(const Program &program, int argc,
                                          const char *const *argv);

} // namespace velmora::CommandLine

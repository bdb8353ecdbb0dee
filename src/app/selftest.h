#pragma once

#include <cstdio>

namespace velmora::SelfTest {

// Checks the program's own logic offline: flags, both provider parsers, throughput,
// rate formatting, colour codes and the provider fallback (with answers from memory).
// Prints a line per check and a verdict to out; true when every check passed.
// Needs a QCoreApplication for the lookups' event loop.
bool run(std::FILE *out = stdout);

} // namespace velmora::SelfTest

#pragma once

#include <QtGlobal>

namespace velmora {

// What carries the traffic, as the network path reports it; unknown before its first report.
enum class ConnectionKind : quint8 { unknown, wifi, ethernet, cellular, other, offline };

} // namespace velmora

#pragma once

class QNetworkAccessManager;

namespace velmora {

// Makes Qt's network access follow the system's proxy configuration; idempotent.
void useSystemProxy();

// The calling thread's shared access manager, made on first use with the system's proxy
// configuration. It lives until its thread finishes (for the main thread: until the
// application object is destroyed), so replies awaited on it always complete.
QNetworkAccessManager &threadNetworkAccess();

} // namespace velmora

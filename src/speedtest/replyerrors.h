#pragma once

#include <QString>

class QNetworkReply;

namespace velmora {

// The text of a finished reply's transport failure: Qt's own description, except for an expired
// transfer timeout, which Qt 6.4 reports as a plain "Operation canceled".
QString transportErrorText(const QNetworkReply &reply);

// Whether the reply failed before an answer came, as opposed to being answered with an error
// status (Qt reports those as errors too).
bool failedInTransport(const QNetworkReply &reply);

// The text of a transfer the server refused with a status outside 200-299.
QString badServerResponseText(int status);

} // namespace velmora

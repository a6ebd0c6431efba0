#pragma once

#include <QByteArray>
#include <QString>

namespace keldor {

// A text as it may stand in the report: backslash and braces escaped, characters outside ASCII
// as \'hh in code page 1252 or, when that page lacks them, as \uN?. Control characters are
// dropped. Whatever a headend calls its services, the document stays intact.
QByteArray rtfEscape(const QString &text);

// The document's opening: character set, font, colour and style tables, information group,
// page set-up, section defaults, list levels and the paragraph defaults whose tab stops line up
// the channel columns. Each element is one line.
QByteArray rtfDocumentHeader();

} // namespace keldor

#pragma once

#include <QString>
#include <QStringList>

// The Chinese faces the window's text is set in, best first: what this platform has.
QStringList chineseFontFamilies();

// The line end of the platform's own text: what other programs expect on the clipboard.
QString nativeLineEnd();

// Whether this user may write to the file or folder: on Windows by its access list, not only
// the read-only mark Qt looks at by default (Program Files has none, yet a user may not write).
bool userMayWrite(const QString &path);

#pragma once

#include <QString>

// Settings the embedded browser needs on this platform, before the application object exists.
void prepareBrowserEnvironment();

// The line end of the platform's own text: what other programs expect on the clipboard.
QString nativeLineEnd();

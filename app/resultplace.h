#pragma once

#include <QString>

// The folder that holds Keywords: the program's own folder where it can take one (a copy run
// from its build or unpacked somewhere writable), else Tailspade in the user's documents. A copy
// that runs from installBinDir, where it was installed, always uses the documents: even root,
// who may write to /usr/bin, must not save there. Decided once, at start-up, creating nothing.
QString resultBaseDir(const QString &programDir, const QString &documentsDir,
                      const QString &installBinDir);

// The user's documents folder, or the home folder where there is none.
QString documentsDir();

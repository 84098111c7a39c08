#pragma once

#include <QString>

// The folder that holds Keywords: the program's own folder where it can take one (a copy run
// from its build or unpacked somewhere writable), else Tailspade in the user's documents (an
// installed copy under /usr). Decided once, at start-up, without creating anything.
QString resultBaseDir(const QString &programDir, const QString &documentsDir);

// The user's documents folder, or the home folder where there is none.
QString documentsDir();

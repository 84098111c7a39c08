#pragma once

// The program started as a user starts it, on the X display, watched from outside: when its
// window is mapped, when the strip's page is on the screen, and what its processes cost once
// they are idle.

#include <QProcessEnvironment>
#include <QString>
#include <optional>

struct StartFigures {
    double mappedMs = 0; // start to the window mapped
    double drawnMs = 0;  // start to the strip's page on the screen
    double cpuMs = 0;    // CPU of its processes from start to idle
    double pssMiB = 0;   // PSS summed over its processes once idle
    int processes = 0;
    int threads = 0;
};

// One start of program, with env, left at once when it has been measured; nothing when the
// window or its page did not show within a minute.
std::optional<StartFigures> startOnce(const QString &program, const QProcessEnvironment &env);

#pragma once

#include <QList>
#include <QtGlobal>

// Where each keyword of a harvest came from, one entry per keyword in harvest order: the
// position in the harvest of the keyword whose page first gave it (kFromSeed for the seed's
// page), and how far from the seed it lies (1 for the seed's page, 2 for their pages, ...).
// Runs recorded before origins were kept have them unknown.
struct Origins {
    static constexpr qint32 kFromSeed = -1;
    static constexpr qint32 kUnknown = -2;

    QList<qint32> parents;
    QList<qint32> depths; // 0: unknown

    qsizetype size() const { return parents.size(); }
    void clear()
    {
        parents.clear();
        depths.clear();
    }
    // For the next keyword of the harvest; a parent is always an earlier keyword.
    void append(qint32 parent)
    {
        qint32 depth = 0;
        if (parent == kFromSeed)
            depth = 1;
        else if (parent >= 0 && parent < depths.size() && depths.at(parent) > 0)
            depth = depths.at(parent) + 1;
        else if (parent < 0 || parent >= parents.size())
            parent = kUnknown;
        parents.append(parent);
        depths.append(depth);
    }
};

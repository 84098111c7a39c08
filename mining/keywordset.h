#pragma once

#include <QList>
#include <QSet>
#include <QString>

// A set of keywords that never moves the ones it holds. One hash table rehashes every entry at
// once when it grows: tens of milliseconds at a hundred thousand keywords, in the middle of a
// tick. Here a full table stays as it is and an empty one of twice its size, allocated at
// once, takes the new keywords; a lookup probes the few tables.
class KeywordSet {
public:
    bool contains(const QString &keyword) const
    {
        for (const QSet<QString> &table : m_tables) {
            if (table.contains(keyword))
                return true;
        }
        return false;
    }
    // For a keyword not yet contained.
    void insert(const QString &keyword)
    {
        if (m_tables.isEmpty() || m_tables.last().size() >= m_capacity) {
            m_capacity = m_tables.isEmpty() ? kFirstCapacity : 2 * m_capacity;
            m_tables.append(QSet<QString>());
            m_tables.last().reserve(m_capacity);
        }
        m_tables.last().insert(keyword);
    }
    void clear()
    {
        m_tables.clear();
        m_capacity = 0;
    }

private:
    static constexpr qsizetype kFirstCapacity = 16384;
    QList<QSet<QString>> m_tables;
    qsizetype m_capacity = 0;
};

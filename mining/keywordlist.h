#pragma once

#include <QString>
#include <QStringList>

// An ordered list of keywords with one optional selection, as a list box keeps them.
// Counts and positions are full-width: a harvest may grow past 32,767 entries.
class KeywordList {
public:
    void Clear();
    void AddItem(const QString &item) { m_items.append(item); }
    qsizetype ListCount() const { return m_items.size(); }
    // The entry at i; one past the end (and any other position) gives empty text.
    QString List(qsizetype i) const
    {
        return i >= 0 && i < m_items.size() ? m_items.at(i) : QString();
    }
    qsizetype ListIndex() const { return m_index; }
    // Selects -1 .. ListCount()-1; any other value is refused and changes nothing.
    bool setListIndex(qsizetype index);

    const QStringList &items() const { return m_items; }

private:
    QStringList m_items;
    qsizetype m_index = -1;
};

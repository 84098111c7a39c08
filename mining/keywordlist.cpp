#include "mining/keywordlist.h"

void KeywordList::Clear()
{
    m_items.clear();
    m_index = -1;
}

bool KeywordList::setListIndex(qsizetype index)
{
    if (index < -1 || index >= m_items.size())
        return false;
    m_index = index;
    return true;
}

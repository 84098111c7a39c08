#pragma once

// The merge as first designed: every call walks the whole candidate list again and looks each
// candidate up in the harvest one by one. Slow, obviously right; the fast merge must match it.

#include <QString>
#include <QStringList>

struct ReferenceMerge {
    QStringList list1, list2, list3, messages;
    QString text1 = QStringLiteral("0");
    QString label2 = QStringLiteral("0");
    QString caption = QStringLiteral("停止");
    QString label4;
    QString target = QStringLiteral("0");
    bool timerOn = true;

    bool isKnownKeyword(const QString &keyword) const
    {
        for (const QString &entry : list2)
            if (entry == keyword)
                return true;
        return keyword.isEmpty();
    }

    void command2()
    {
        if (text1 == QStringLiteral("1"))
            return;
        const qsizetype count = list1.size();
        for (qsizetype i = 0; i < count; ++i) {
            const QString candidate = list1.at(i);
            if (!isKnownKeyword(candidate)) {
                list2.append(candidate);
                list3.append(candidate);
            }
            label2 = QString::number(list2.size());
            bool ok = false;
            const double wanted = target.trimmed().toDouble(&ok);
            if (ok && wanted == double(list3.size())) {
                const QString n = QString::number(list2.size());
                text1 = QStringLiteral("1");
                timerOn = false;
                caption = QStringLiteral("开始采集");
                label4 = QStringLiteral("恭喜！已经完成您需要采集的") + n +
                         QStringLiteral("个长尾词任务");
                messages.append(QStringLiteral("恭喜！已完成您需要的") + n +
                                QStringLiteral("个长尾词任务！您可点击 [查看保存结果] 观看"));
                return;
            }
        }
    }
};

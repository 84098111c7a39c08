#pragma once

// The window's visible controls as plain values, for driving the harvest without a screen.

#include "mining/minerview.h"

#include <QStringList>

class FakeView final : public MinerView {
public:
    QString text2 = QStringLiteral("软件站");
    QString combo1 = QStringLiteral("0");
    int check1 = 0, check2 = 0, check3 = 1;
    QString caption = QStringLiteral("开始采集");
    QString label4, label5;
    QStringList list3, messages, questions;
    ContinueChoice answer = ContinueChoice::Restart; // as every run began before runs were kept

    QString Text2() const override { return text2; }
    void setText2(const QString &text) override { text2 = text; }
    QString Combo1Text() const override { return combo1; }
    int Check1Value() const override { return check1; }
    void setCheck1Value(int value) override { check1 = value; }
    int Check2Value() const override { return check2; }
    void setCheck2Value(int value) override
    {
        if (value != check2) {
            check2 = value;
            check3 = value == 1 ? 0 : 1;
        }
    }
    void setCheck3Value(int value) override
    {
        if (value != check3) {
            check3 = value;
            check2 = value == 1 ? 0 : 1;
        }
    }
    QString Command1Caption() const override { return caption; }
    void setCommand1Caption(const QString &text) override { caption = text; }
    void setLabel4Caption(const QString &text) override { label4 = text; }
    void setLabel5Caption(const QString &text) override { label5 = text; }
    void List3Clear() override { list3.clear(); }
    void List3AddItem(const QString &item) override { list3.append(item); }
    qsizetype List3Count() const override { return list3.size(); }
    void MsgBox(const QString &text) override { messages.append(text); }
    ContinueChoice AskContinue(const QString &text) override
    {
        questions.append(text);
        return answer;
    }
};

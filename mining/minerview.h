#pragma once

#include <QString>

// The answers to the question whether a seed's kept run goes on.
enum class ContinueChoice { Continue, Restart, Cancel };

// What a harvest sees of the window's visible controls. The window implements it; tests can
// implement it without a screen.
class MinerView {
public:
    virtual ~MinerView() = default;

    virtual QString Text2() const = 0; // the seed keyword
    virtual void setText2(const QString &text) = 0;
    virtual QString Combo1Text() const = 0; // the target count as typed
    virtual int Check1Value() const = 0;    // 1: candidates must hold the whole seed
    virtual void setCheck1Value(int value) = 0;
    virtual int Check2Value() const = 0; // 1: append save
    // Setting a save-mode box to a new value raises its click handler, which flips the other.
    virtual void setCheck2Value(int value) = 0;
    virtual void setCheck3Value(int value) = 0;
    virtual QString Command1Caption() const = 0;
    virtual void setCommand1Caption(const QString &caption) = 0;
    virtual void setLabel4Caption(const QString &text) = 0; // the status line
    virtual void setLabel5Caption(const QString &text) = 0; // the copy notice
    virtual void List3Clear() = 0;
    virtual void List3AddItem(const QString &item) = 0;
    virtual qsizetype List3Count() const = 0;
    // A modal message with one OK button, no icon and the application's title.
    virtual void MsgBox(const QString &text) = 0;
    // A modal question with the buttons 继续采集 (Return), 重新开始 and 取消 (Escape).
    virtual ContinueChoice AskContinue(const QString &text) = 0;
};

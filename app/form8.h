#pragma once

#include "app/dialogs.h"
#include "app/elidedlabel.h"
#include "app/resultlist.h"
#include "mining/batch.h"
#include "mining/miner.h"
#include "mining/minerview.h"

#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;

// A button that shows the shared face picture under its caption, with the hand pointer.
class PictureButton final : public QPushButton {
    Q_OBJECT
public:
    PictureButton(const QString &caption, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};

struct Form8Options {
    bool withBrowser = true; // false: a blank stand-in for the strip at the bottom
    MinerOptions miner;
    Desktop *desktop = nullptr; // null: the real desktop
    std::function<void()> quit; // empty: leave the event loops and end the program
};

// The one window: every visible control at its place, and the handlers that belong to it.
class Form8 final : public QWidget, public MinerView {
    Q_OBJECT
public:
    explicit Form8(Form8Options options = {});
    ~Form8() override;

    Miner &miner() { return m_miner; }
    Batch &batch() { return m_batch; }

    void Form_Load();
    void Form_Unload(bool &cancel);
    void List3_Click();
    void copyAllResults();
    void editExclusionWords(); // 排除词…, saved to the result folder's file
    void exportResults();      // 导出… the harvest the list shows
    void Command5_Click();
    void Command6_Click();
    void BatchButton_Click(); // a batch of seeds, or the kept one continued
    void Check2_Click();
    void Check3_Click();

    // MinerView
    QString Text2() const override;
    void setText2(const QString &text) override;
    QString Combo1Text() const override;
    int Check1Value() const override;
    void setCheck1Value(int value) override;
    int Check2Value() const override;
    void setCheck2Value(int value) override;
    void setCheck3Value(int value) override;
    QString Command1Caption() const override;
    void setCommand1Caption(const QString &caption) override;
    void setLabel4Caption(const QString &text) override;
    void setLabel5Caption(const QString &text) override;
    void List3Clear() override;
    void List3AddItem(const QString &item) override;
    qsizetype List3Count() const override;
    void MsgBox(const QString &text) override;
    ContinueChoice AskContinue(const QString &text) override;

    // Visible controls, by name.
    QLabel *const Image39;
    QLabel *const Label7;
    QLineEdit *const Text2Edit;
    PictureButton *const Command1;
    PictureButton *const Command6;
    PictureButton *const BatchButton;
    QCheckBox *const Check1;
    QLabel *const Label10;
    QCheckBox *const Check3;
    QLabel *const Label11;
    QCheckBox *const Check2;
    QLabel *const Label12;
    QComboBox *const Combo1;
    QLabel *const Label8;
    QLabel *const Label13;
    ElidedLabel *const Label4;
    ResultList *const List3;
    QFrame *const Frame1;
    QLabel *const Label5;
    QLabel *const Label9;
    QFrame *const Line1;
    QFrame *const Line2;
    QFrame *const Line3;
    QFrame *const Line4;
    ElidedLabel *const Label6;
    PictureButton *const Command5;
    QFrame *const Frame2;
    QWidget *const WebBrowser1;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void copy(const QString &text, const QString &notice);

    std::unique_ptr<Desktop> m_ownDesktop;
    Desktop *m_desktop;
    std::function<void()> m_quit;
    Miner m_miner;
    Batch m_batch;
};

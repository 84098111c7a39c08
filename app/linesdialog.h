#pragma once

#include <QDialog>
#include <functional>
#include <utility>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// Lines typed or pasted one a line, or read from a text file (a batch's seeds, the exclusion
// words), with a count of what they come to.
class LinesDialog final : public QDialog {
    Q_OBJECT
public:
    struct Texts {
        QString title, what, intro, note, accept; // what: the lines' name, as in 读取源关键字
    };
    // What the lines come to, and whether they may be accepted.
    using Count = std::function<std::pair<QString, bool>(const QStringList &lines)>;

    LinesDialog(QWidget *parent, const Texts &texts, const QString &text, Count count);
    QString text() const;
    QStringList lines() const; // without the end of the last line

private:
    void readFile();
    void recount();

    const QString m_what;
    const Count m_countOf;
    QPlainTextEdit *const m_lines;
    QLabel *const m_count;
    QPushButton *m_accept = nullptr;
};

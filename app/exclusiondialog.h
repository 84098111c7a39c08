#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;

// The exclusion words (排除词): typed or pasted one a line, or read from a text file.
class ExclusionDialog final : public QDialog {
    Q_OBJECT
public:
    ExclusionDialog(QWidget *parent, const QString &words);
    QString words() const;

private:
    void readFile();
    void recount();

    QPlainTextEdit *const m_words;
    QLabel *const m_count;
};

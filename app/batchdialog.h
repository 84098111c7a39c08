#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The seeds of a batch: typed or pasted one a line, or read from a text file, with the count
// that will run. The window's own options apply to every seed.
class BatchDialog final : public QDialog {
    Q_OBJECT
public:
    explicit BatchDialog(QWidget *parent);
    QStringList lines() const;

private:
    void readFile();
    void recount();

    QPlainTextEdit *const m_seeds;
    QLabel *const m_count;
    QPushButton *m_start = nullptr;
};

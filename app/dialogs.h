#pragma once

#include "mining/minerview.h"
#include "storage/export.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class QTranslator;
class QWidget;

// Everything the window asks of the desktop beyond itself: message boxes and opening places.
// Tests replace it so that no dialog waits for a person and nothing is launched.
class Desktop {
public:
    virtual ~Desktop() = default;
    // Modal, one OK button, no icon, the application's title.
    virtual void inform(QWidget *parent, const QString &text);
    // "真的退出吗?" with OK (default) and Cancel; true for OK. onOk runs the moment OK is
    // chosen, before this returns: the question's loop may sit under a fetch's waiting loop,
    // which would hold the answer back until its page came.
    virtual bool confirmExit(QWidget *parent, const std::function<void()> &onOk);
    // Asks text, plain, with 继续采集 (the default: Return), 重新开始 and 取消 (Escape, or
    // closing the box).
    virtual ContinueChoice askContinue(QWidget *parent, const QString &text);
    // The batch dialog: the seed lines to run, nothing when cancelled.
    virtual std::optional<QStringList> askSeeds(QWidget *parent);
    // The exclusion words' dialog, holding words: the text to save, nothing when cancelled.
    virtual std::optional<QString> askExclusionWords(QWidget *parent, const QString &words);
    // The save dialog of 导出…, at suggested: where and as what, nothing when cancelled.
    struct ExportTarget {
        QString path;
        ExportFormat format = ExportFormat::Xlsx;
    };
    virtual std::optional<ExportTarget> askExportTarget(QWidget *parent, const QString &suggested);
    // Hands a folder or web address to the system, without waiting.
    virtual bool open(const QUrl &url);
};

// Installs Qt's own Simplified Chinese texts (standard buttons, edit menus) through translator,
// whatever the system's locale. False when they are not installed.
bool installQtChinese(QTranslator &translator);

#include "app/form8.h"

#include "app/browser.h"
#include "app/pictures.h"
#include "app/platform.h"
#include "app/publisher.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSessionManager>
#include <QStyleOptionButton>
#include <QTextLayout>

using namespace Qt::StringLiterals;

namespace {

// Places and sizes are kept in twips, 15 to the pixel.
int px(int twips)
{
    return qRound(twips / 15.0);
}

QRect twips(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

QFont songti(double points, bool bold)
{
    QFont font;
    font.setFamilies(chineseFontFamilies());
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// Fits its text again whenever its font changes: the window's font comes after it is made.
class FittingLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void changeEvent(QEvent *event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            adjustSize();
    }
};

// A label that sizes itself to its text, its top-left corner fixed.
QLabel *autoLabel(QWidget *parent, const QString &text, int left, int top)
{
    QLabel *l = new FittingLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->move(px(left), px(top));
    l->adjustSize();
    return l;
}

QFrame *line(QWidget *parent, int x1, int y1, int x2, int y2)
{
    auto *f = new QFrame(parent);
    f->setGeometry(px(x1), px(y1), px(x2 - x1) + 1, px(y2 - y1) + 1);
    f->setAutoFillBackground(true);
    QPalette palette = f->palette();
    palette.setColor(QPalette::Window, Qt::black);
    f->setPalette(palette);
    return f;
}

QCheckBox *checkBox(QWidget *parent, int left, int top)
{
    auto *c = new QCheckBox(parent);
    c->setGeometry(twips(left, top, 255, 180));
    return c;
}

QWidget *makeBrowser(bool real, QWidget *frame)
{
    QWidget *browser = real ? new Browser(frame) : new QWidget(frame);
    if (!real) {
        browser->setAutoFillBackground(true);
        QPalette palette = browser->palette();
        palette.setColor(QPalette::Window, Qt::white);
        browser->setPalette(palette);
    }
    // Larger than the frame and 120 twips up and left: the frame hides its border and scroll bars.
    browser->setGeometry(twips(-120, -120, 12135, 1215));
    return browser;
}

// Wrapped text at one line per em, as the serif faces of the desktop it was laid out for: CJK
// faces with tall ascent and descent would show only two thirds of the text in the box.
class TightLabel final : public QLabel {
public:
    TightLabel(const QString &text, QWidget *parent)
        : QLabel(text, parent)
    {
        setTextFormat(Qt::PlainText);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QString shown = text();
        while (shown.endsWith(u'\n') || shown.endsWith(u'\r'))
            shown.chop(1);
        QTextLayout layout(shown, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        const qreal step = QFontInfo(font()).pixelSize();
        qreal y = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width());
            line.setPosition(QPointF(0, y));
            y += step;
        }
        layout.endLayout();
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.setClipRect(rect());
        // Put the baseline where a 1 em cell has it, whatever the face's own ascent.
        layout.draw(&p, QPointF(0, 0.88 * step - QFontMetricsF(font()).ascent()));
    }
};

// Where a row came from: "来自：鲜花店 · 第2层"; nothing for a run recorded without it.
QString originNote(const ExportRow &row)
{
    if (row.parent.isEmpty())
        return {};
    QString text = u"来自："_s + row.parent;
    if (row.depth > 0)
        text += u" · 第"_s + QString::number(row.depth) + u"层"_s;
    return text;
}

const QString kLabel9Text =
    u"长尾关键词解释："_s + QString(25, u' ') +
    u"网站上非目标关键词但也可以带来搜索流量的关键词，称为长尾关键词。"_s + QString(11, u' ') +
    u"长尾关键词的特征是比较长，往往是2-3个词组成，甚至是短语，存在于内容页面，除了内容页的标题，还存在于内容中。"_s +
    u" 搜索量非常少，并且不稳定。"_s +
    u" 长尾关键词带来的客户，转化为网站产品客户的概率比目标关键词高很多。"_s +
    u" 存在大量长尾关键词的大中型网站，其带来的总流量非常大。长尾关键词基本属性是:可延伸性,针对性强,范围广。\r\n"_s;

} // namespace

PictureButton::PictureButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    setCursor(pictures::handPointer());
}

void PictureButton::paintEvent(QPaintEvent *)
{
    static const QPixmap face = pictures::buttonFace();
    QPainter p(this);
    const bool down = isDown();
    p.drawPixmap(rect(), face);
    if (down)
        p.fillRect(rect(), QColor(0, 0, 0, 28));
    p.setFont(font());
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(rect().translated(down ? 1 : 0, down ? 1 : 0), Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

Form8::Form8(Form8Options options)
    : Image39(new QLabel(this))
    , Label7(autoLabel(this, u"源关键字："_s, 480, 240))
    , Text2Edit(new QLineEdit(u"软件站"_s, this))
    , Command1(new PictureButton(u"开始采集"_s, this))
    , Command6(new PictureButton(u"访问官网"_s, this))
    , BatchButton(new PictureButton(u"批量采集…"_s, this))
    , Check1(checkBox(this, 450, 720))
    , Label10(autoLabel(this, u"必须包含源关键字"_s, 720, 720))
    , Check3(checkBox(this, 2280, 720))
    , Label11(autoLabel(this, u"覆盖保存"_s, 2640, 720))
    , Check2(checkBox(this, 3440, 720))
    , Label12(autoLabel(this, u"追加保存  采集："_s, 3720, 720))
    , Combo1(new QComboBox(this))
    , Label8(autoLabel(this, u"个后停止/并保存"_s, 5880, 720))
    , Label13(autoLabel(this, u"默认0为无限采集"_s, 5040, 960))
    , Label4(new ElidedLabel(this))
    , List3(new ResultList(this))
    , Frame1(new QFrame(this))
    , Label5(autoLabel(Frame1, QString(), 120, 0))
    , Label9(new TightLabel(kLabel9Text, this))
    , Line1(line(this, 7320, 1200, 10800, 1200))
    , Line2(line(this, 7320, 1200, 7320, 3600))
    , Line3(line(this, 7320, 3600, 10800, 3600))
    , Line4(line(this, 10800, 1200, 10800, 3600))
    , Label6(new ElidedLabel(this, true))
    , Command5(new PictureButton(u"查看保存结果"_s, this))
    , Frame2(new QFrame(this))
    , WebBrowser1(makeBrowser(options.withBrowser, Frame2))
    , m_ownDesktop(options.desktop ? nullptr : std::make_unique<Desktop>())
    , m_desktop(options.desktop ? options.desktop : m_ownDesktop.get())
    , m_quit(options.quit ? std::move(options.quit) : [] { QCoreApplication::exit(0); })
    , m_miner(*this, options.miner)
    , m_batch(m_miner, *this)
{
    setWindowTitle(u"Tailspade"_s + QString(6, u' ') + QLatin1StringView(publisher::kHomePage) +
                   u' ' + QString::fromUtf8(publisher::kName));
    setWindowIcon(pictures::windowIcon());
    setFont(songti(9, false));
    setFixedSize(px(10950), px(5010));

    Image39->setPixmap(pictures::background());
    Image39->setScaledContents(true);
    Image39->setGeometry(twips(0, 0, 11175, 5025));
    Image39->setToolTip(u"查询完成后软件自动保存结果，请点[查看保存结果]按钮查看"_s);

    Label7->setFont(songti(12, true));
    Text2Edit->setFont(songti(9, true));
    Text2Edit->setGeometry(twips(1680, 120, 3255, 410));
    Command1->setFont(songti(10.5, true));
    Command1->setGeometry(twips(5160, 120, 1455, 375));
    Command6->setFont(songti(10.5, true));
    Command6->setGeometry(twips(9240, 120, 1455, 375));
    BatchButton->setFont(songti(10.5, false));
    BatchButton->setGeometry(twips(6840, 120, 1455, 375));
    Command5->setFont(songti(10.5, false));
    Command5->setGeometry(twips(6960, 3720, 1575, 375));

    // Logging off asks the same question; a refusal cancels the logout, as the platform expects.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!manager.allowsInteraction())
            return;
        bool cancel = false;
        Form_Unload(cancel);
        if (cancel)
            manager.cancel();
        manager.release();
    });
    connect(Command1, &QPushButton::clicked, &m_miner, &Miner::Command1_Click);
    connect(Command5, &QPushButton::clicked, this, &Form8::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form8::Command6_Click);
    connect(BatchButton, &QPushButton::clicked, this, &Form8::BatchButton_Click);

    Check3->setChecked(true);
    connect(Check2, &QCheckBox::toggled, this, &Form8::Check2_Click);
    connect(Check3, &QCheckBox::toggled, this, &Form8::Check3_Click);

    Combo1->setEditable(true);
    Combo1->setCompleter(nullptr); // typed text stands as typed: 15 stays 15
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    for (const char *entry :
         {"0",   "10",  "20",  "30",  "40",  "50",  "60",  "70",  "80",  "90",  "100",
          "150", "200", "300", "400", "500", "600", "700", "800", "900", "1000"})
        Combo1->addItem(QString::fromLatin1(entry));
    Combo1->setCurrentIndex(0);
    Combo1->setGeometry(twips(5160, 600, 735, 300));

    QPalette grey = Label13->palette();
    grey.setColor(QPalette::WindowText, QColor(192, 192, 192));
    Label13->setPalette(grey);

    // The status line keeps its box, clear of the list below it: a status text per query then
    // repaints no more than its own strip.
    Label4->setGeometry(twips(120, 960, 6780, 180));
    // It shares its row with the grey hint: a long status stops where the hint begins.
    Label4->setRightNeighbour(Label13);

    List3->setGeometry(twips(120, 1200, 6735, 2400));
    List3->setUniformItemSizes(true);
    List3->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(List3, &ResultList::userSelected, this, &Form8::List3_Click);
    connect(List3, &ResultList::copyRequested, this, &Form8::List3_Click);
    connect(List3, &ResultList::copyAllRequested, this, &Form8::copyAllResults);
    connect(List3, &ResultList::openFolderRequested, this, &Form8::Command5_Click);
    connect(List3, &ResultList::exclusionWordsRequested, this, &Form8::editExclusionWords);
    connect(List3, &ResultList::exportRequested, this, &Form8::exportResults);
    List3->setToolTipSource([this](int row) {
        const HarvestPart harvest = m_miner.harvest();
        return row < harvest.keywords.size() ? originNote(exportRow(harvest, row)) : QString();
    });

    Frame1->setGeometry(twips(3000, 3120, 3375, 255));
    Frame1->setAutoFillBackground(true);
    QPalette white = Frame1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Frame1->setPalette(white);

    Label9->setGeometry(twips(7440, 1320, 3375, 2175));

    Frame2->setGeometry(twips(0, 4200, 10935, 735));

    // Each box and its text are one control: a click on the text clicks the box (eventFilter),
    // and screen readers name the box by the text.
    for (const auto &[text, box] :
         {std::pair{Label10, Check1}, {Label11, Check3}, {Label12, Check2}}) {
        text->setBuddy(box);
        text->installEventFilter(this);
        box->setAccessibleName(text->text());
    }
    // Return in either field presses the start and stop button (eventFilter).
    Text2Edit->installEventFilter(this);
    Combo1->lineEdit()->installEventFilter(this);

    // The other inputs' names for screen readers, from the texts beside them. On Unix Qt names an
    // editable combo box by the text it holds and readers take its label: the hint under it.
    Label7->setBuddy(Text2Edit);
    Text2Edit->setAccessibleName(u"源关键字"_s);
    Combo1->setAccessibleName(u"采集个数（0为不限）"_s);
    Combo1->lineEdit()->setAccessibleName(Combo1->accessibleName());
    Label13->setBuddy(Combo1);
    List3->setAccessibleName(u"采集结果"_s);

    // Tab goes through the window as it reads, row by row.
    const QList<QWidget *> tabOrder = {Text2Edit, Command1, BatchButton, Command6, Check1,
                                       Check3,    Check2,   Combo1,      List3,    Command5};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    // Front to back: windowed controls above the drawn ones, the background picture last.
    const QList<QWidget *> frontToBack = {
        Frame2, Command6, BatchButton, Command5, Command1, Combo1,  Check2,  Check3, Frame1,
        List3,  Check1,   Text2Edit,   Label4,   Label12,  Label11, Label10, Line4,  Line3,
        Line2,  Line1,    Label6,      Label9,   Label7,   Label8,  Label13, Image39};
    for (auto it = frontToBack.crbegin(); it != frontToBack.crend(); ++it)
        (*it)->raise();

    Form_Load();
}

Form8::~Form8() = default;

// The status line after start-up, when runs of an earlier start were saved from their journals.
static QString recoveryReport(const QList<JournalRecovery> &recovered)
{
    QStringList texts;
    for (const JournalRecovery &r : recovered) {
        const QString n = QString::number(r.count);
        switch (r.status) {
        case JournalRecovery::Status::Saved:
            texts << u"上次采集意外中断，已把"_s + n + u"个长尾词追加保存到 "_s + r.save.path;
            break;
        case JournalRecovery::Status::SaveFailed:
            texts << u"上次采集意外中断，"_s + n + u"个长尾词未能保存到 "_s + r.save.path +
                         u"，下次启动时再试"_s;
            break;
        case JournalRecovery::Status::Unreadable:
            texts << u"上次采集意外中断，其记录无法读取："_s + r.journal;
            break;
        case JournalRecovery::Status::Newer:
            texts << u"上次采集意外中断，其记录由较新版本的Tailspade写成，已忽略："_s + r.journal;
            break;
        default:
            break;
        }
    }
    return texts.join(u"；"_s);
}

void Form8::Form_Load()
{
    Q_INIT_RESOURCE(resources); // the bundled page lives in a static library
    const QString sep = QDir::separator();
    // As wide as its text, up to the 查看保存结果 button beside it.
    Label6->move(px(120), px(3840));
    Label6->setMaximumWidth(px(6840 - 120));
    Label6->setText(u"结果保存在："_s + QDir::toNativeSeparators(m_miner.programDir()) + sep +
                    u"Keywords"_s + sep + u' ');
    if (auto *browser = qobject_cast<Browser *>(WebBrowser1))
        browser->navigate(QUrl(QString::fromLatin1(publisher::kToolsPage)));
    // Recovered runs first: they may become kept runs.
    QStringList report{recoveryReport(m_miner.recoverJournals())};
    report.removeAll(QString());
    report << m_miner.keptRunProblems();
    if (!report.isEmpty())
        Label4->setText(report.join(u"；"_s));
}

void Form8::Form_Unload(bool &cancel)
{
    // Ends the moment OK is chosen, saving nothing, even with a page still awaited: that page
    // is dropped, and quitting leaves the loop waiting for it.
    cancel = !m_desktop->confirmExit(this, [this] {
        m_batch.abandon();
        m_miner.abandon();
        m_quit();
    });
}

void Form8::closeEvent(QCloseEvent *event)
{
    bool cancel = false;
    Form_Unload(cancel);
    event->setAccepted(!cancel);
}

bool Form8::eventFilter(QObject *watched, QEvent *event)
{
    const bool field = watched == Text2Edit || watched == Combo1->lineEdit();
    if (field && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Not a held key: that would start and stop over and over.
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat()) {
            Command1->click();
            return true;
        }
    }
    const auto *label = qobject_cast<QLabel *>(watched);
    auto *box = label ? qobject_cast<QAbstractButton *>(label->buddy()) : nullptr;
    if (box && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            label->rect().contains(mouse->position().toPoint())) {
            box->setFocus(Qt::MouseFocusReason);
            box->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form8::copy(const QString &text, const QString &notice)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    setLabel5Caption(notice);
}

void Form8::List3_Click()
{
    const QListWidgetItem *item = List3->item(List3->selectedRow());
    if (!item)
        return;
    const QString keyword = item->text();
    copy(keyword, u"长尾词："_s + keyword + u"  复制成功"_s);
}

// Also during a run: the rows shown so far.
void Form8::copyAllResults()
{
    copy(List3->allRows(nativeLineEnd()),
         u"已复制全部"_s + QString::number(List3->count()) + u"个长尾词"_s);
}

void Form8::editExclusionWords()
{
    const QString path = QDir::toNativeSeparators(exclusionFilePath(m_miner.programDir()));
    QString error;
    const QStringList lines = readExclusionFile(m_miner.programDir(), &error);
    if (!error.isEmpty())
        return MsgBox(u"排除词无法读取："_s + error + u"\n"_s + path);
    const std::optional<QString> text = m_desktop->askExclusionWords(this, lines.join(u'\n'));
    if (!text)
        return;
    qsizetype words = 0;
    const SaveResult saved = writeExclusionFile(m_miner.programDir(), *text, &words);
    if (!saved.ok())
        return MsgBox(u"排除词保存失败（"_s + saved.detail + u"）："_s + path);
    setLabel5Caption(u"已保存"_s + QString::number(words) + u"个排除词，开始采集时生效"_s);
}

void Form8::exportResults()
{
    const HarvestPart harvest = m_miner.harvest();
    if (harvest.keywords.isEmpty())
        return;
    QString name = resultFileName(harvest.seed);
    name.chop(4); // .txt
    const QString folder = QDir(m_miner.programDir()).filePath(u"Keywords"_s);
    const std::optional<Desktop::ExportTarget> target = m_desktop->askExportTarget(
        this, QDir(QFileInfo::exists(folder) ? folder : m_miner.programDir())
                  .filePath(name + u".xlsx"_s));
    if (!target)
        return;
    const SaveResult saved = exportHarvest(target->path, target->format, {harvest});
    if (!saved.ok())
        return MsgBox(u"导出失败（"_s + saved.detail + u"），没有写入文件："_s + saved.path);
    setLabel5Caption(u"已导出"_s + QString::number(harvest.keywords.size()) + u"个长尾词"_s);
}

void Form8::Command5_Click()
{
    // Made here as a save would make it: before the first save there is nothing to open.
    const QString folder = m_miner.programDir() + u"/Keywords/"_s;
    QString reason;
    if (!ensureResultFolder(m_miner.programDir(), &reason))
        MsgBox(u"无法创建文件夹："_s + QDir::toNativeSeparators(folder) + u"（"_s + reason +
               u"）"_s);
    else if (!m_desktop->open(QUrl::fromLocalFile(folder)))
        MsgBox(u"无法打开文件夹："_s + QDir::toNativeSeparators(folder));
}

void Form8::Command6_Click()
{
    const QString address = QString::fromLatin1(publisher::kHomePage);
    if (!m_desktop->open(QUrl(address)))
        MsgBox(u"无法打开网页："_s + address);
}

void Form8::Check2_Click()
{
    Check3->setChecked(!Check2->isChecked());
}

void Form8::Check3_Click()
{
    Check2->setChecked(!Check3->isChecked());
}

QString Form8::Text2() const
{
    return Text2Edit->text();
}
void Form8::setText2(const QString &text)
{
    Text2Edit->setText(text);
}
QString Form8::Combo1Text() const
{
    return Combo1->currentText();
}
int Form8::Check1Value() const
{
    return Check1->isChecked() ? 1 : 0;
}
void Form8::setCheck1Value(int value)
{
    Check1->setChecked(value == 1);
}
int Form8::Check2Value() const
{
    return Check2->isChecked() ? 1 : 0;
}
void Form8::setCheck2Value(int value)
{
    Check2->setChecked(value == 1);
}
void Form8::setCheck3Value(int value)
{
    Check3->setChecked(value == 1);
}
QString Form8::Command1Caption() const
{
    return Command1->text();
}
void Form8::setCommand1Caption(const QString &caption)
{
    Command1->setText(caption);
    BatchButton->setEnabled(caption != u"停止"_s); // one harvest at a time
}

void Form8::BatchButton_Click()
{
    if (Command1->text() == u"停止"_s || m_batch.running())
        return;
    const KeptBatchRecord kept = m_batch.kept();
    const KeptBatch state = keptBatchOf(kept);
    ContinueChoice answer = ContinueChoice::Cancel;
    if (offersBatch(state)) {
        const qsizetype total = kept.record.seeds.size();
        answer = AskContinue(
            u"上次的批量采集共"_s + QString::number(total) + u"个源关键字，还有"_s +
            QString::number(total - kept.record.next()) + u"个没有采集（下一个：“"_s +
            kept.record.seeds.value(kept.record.next()) + u"”）。是否继续上次的批量采集？"_s);
    }
    const BatchOffer offer = planOffer(state, answer);
    if (offer.forget)
        m_batch.forgetKept();
    switch (offer.say) {
    case BatchOffer::Say::Nothing:
        break;
    case BatchOffer::Say::Unreadable:
        Label4->setText(u"上次的批量采集记录无法读取，已忽略。"_s);
        break;
    case BatchOffer::Say::InUse:
        MsgBox(u"另一个Tailspade正在进行批量采集，没有开始批量采集。"_s);
        break;
    }
    switch (offer.then) {
    case BatchOffer::Then::Nothing:
        return;
    case BatchOffer::Then::Continue:
        m_batch.resume(kept.record);
        return;
    case BatchOffer::Then::NewBatch:
        break;
    }
    const std::optional<QStringList> lines = m_desktop->askSeeds(this);
    if (!lines)
        return;
    const BatchSeeds batch = cleanSeeds(*lines);
    if (batch.seeds.isEmpty() || batch.seeds.size() > kMaxBatchSeeds) {
        MsgBox(batch.seeds.isEmpty() ? u"没有源关键字，没有开始批量采集。"_s
                                     : u"源关键字超过"_s + QString::number(kMaxBatchSeeds) +
                                           u"个，没有开始批量采集。请分批采集。"_s);
        return;
    }
    // Asked once for the whole batch, not at each seed.
    ContinueChoice keptRuns = ContinueChoice::Continue;
    if (const qsizetype n = m_batch.seedsWithKeptRuns(batch.seeds))
        keptRuns = AskContinue(u"这批源关键字中有"_s + QString::number(n) +
                               u"个上次没有采集完。是否继续它们上次的采集？"
                               u"（重新开始：这些源关键字从头采集）"_s);
    m_batch.start(batch.seeds, keptRuns);
}

void Form8::setLabel4Caption(const QString &text)
{
    Label4->setText(text);
}

void Form8::setLabel5Caption(const QString &text)
{
    Label5->setText(text);
    Label5->adjustSize();
}

void Form8::List3Clear()
{
    List3->clear();
}
void Form8::List3AddItem(const QString &item)
{
    List3->addItem(item);
}
qsizetype Form8::List3Count() const
{
    return List3->count();
}
void Form8::MsgBox(const QString &text)
{
    m_desktop->inform(this, text);
}
ContinueChoice Form8::AskContinue(const QString &text)
{
    return m_desktop->askContinue(this, text);
}

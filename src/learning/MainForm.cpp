// The trainer window's controls, their layout and the way clicks and keys reach the lesson.
// Sizes are those of the trainer's original layout in pixels; the layout is computed here in
// one place, so that the answer list's height (and the number of answers) follows the window.
#include "learning/MainForm.h"

#include "engine/EngineError.h"
#include "messages/Information.h"
#include "platform/FileTools.h"
#include "platform/Images.h"
#include "platform/TimeScale.h"
#include "platform/WorkArea.h"
#include "settings/Lang.h"
#include "settings/TOptions.h"
#include "sound/Sound.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionToolButton>
#include <QStyledItemDelegate>

#include <algorithm>

TFWordpop *FWordpop = nullptr;

const QString TFWordpop::ProductName = QStringLiteral("Wordpop");

namespace {

const QColor kNavy(0, 0, 128);
const QColor kRed(255, 0, 0);
// Button highlights: blue for most, red for the refusing ones.
const QColor kBlueHover(0xd6, 0xe4, 0xff);
const QColor kBlueBorder(0x5f, 0x86, 0xd6);
const QColor kBlueDown(0xa9, 0xc3, 0xf4);
const QColor kRedHover(0xff, 0xd4, 0xd4);
const QColor kRedBorder(0xd0, 0x40, 0x40);
const QColor kRedDown(0xf4, 0xa8, 0xa8);

// Fixed places from the right edge of the answer area (the original layout is 333 wide).
constexpr int kDesignWidth = 333;
constexpr int kMinQuestionHeight = 30;
constexpr int kMinTranscriptionHeight = 26;
constexpr int kSplitterHeight = 3;

QFont pixelFont(const QString &family, int pixels, bool bold)
{
    QFont f(family);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void setBackground(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void setTextColour(QWidget *w, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

// Rows of the answer list: the plain text, selected rows in the selection colours.
class TAnswerDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return QSize(option.rect.width(), TAnswerList::ItemHeight);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette &pal = option.palette;
        painter->fillRect(option.rect, selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
        painter->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
        painter->setFont(option.font);
        const QRect r = option.rect.adjusted(2, 0, -2, 0);
        const QString text = option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, r.width());
        painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
};

int digitOf(const QKeyEvent *e)
{
    if (e->key() >= Qt::Key_0 && e->key() <= Qt::Key_9)
        return e->key() - Qt::Key_0;
    return -1;
}

// Modifiers that count for the key table (the keypad flag is not one).
Qt::KeyboardModifiers modifiersOf(const QKeyEvent *e)
{
    return e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

// Alt+letter commands, on the Latin letter or on the Cyrillic one of the same key.
bool isLetter(const QKeyEvent *e, Qt::Key latin, char16_t cyrillic)
{
    return e->key() == latin || e->key() == int(cyrillic) || e->key() == int(cyrillic + 0x20);
}

} // namespace

// --- Small widgets ---------------------------------------------------------------------------

TImageButton::TImageButton(const QPixmap &image, const QString &caption, bool redHighlight, QWidget *parent)
    : QToolButton(parent), m_red(redHighlight)
{
    setIcon(QIcon(image));
    setIconSize(image.size());
    setAutoRaise(true);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    if (!caption.isEmpty()) {
        setText(caption);
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        QFont f = font();
        f.setBold(true);
        setFont(f);
    } else {
        setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
}

void TImageButton::paintEvent(QPaintEvent *)
{
    QStyleOptionToolButton opt;
    initStyleOption(&opt);
    const bool enabled = opt.state & QStyle::State_Enabled;
    const bool down = enabled && (opt.state & (QStyle::State_Sunken | QStyle::State_On));
    const bool hover = enabled && (opt.state & QStyle::State_MouseOver);
    QPainter p(this);
    if (hover || down) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        const QColor fill = down ? (m_red ? kRedDown : kBlueDown) : (m_red ? kRedHover : kBlueHover);
        p.setPen(hover ? QPen(m_red ? kRedBorder : kBlueBorder, 1) : QPen(Qt::NoPen));
        p.setBrush(fill);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        p.restore();
    }
    // The picture and the caption, left-aligned, without the style's own panel or press shift.
    opt.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On | QStyle::State_Raised);
    opt.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawControl(QStyle::CE_ToolButtonLabel, &opt, &p, this);
}

THighlightButton::THighlightButton(const QIcon &icon, const QString &caption, bool redHighlight, QWidget *parent)
    : QPushButton(icon, caption, parent), m_red(redHighlight)
{
    setAttribute(Qt::WA_Hover);
}

void THighlightButton::paintEvent(QPaintEvent *)
{
    QStyleOptionButton opt;
    initStyleOption(&opt);
    if ((opt.state & QStyle::State_Enabled) && (opt.state & QStyle::State_MouseOver))
        opt.palette.setColor(QPalette::Button, m_red ? kRedHover : kBlueHover);
    QPainter p(this);
    style()->drawControl(QStyle::CE_PushButton, &opt, &p, this);
}

TAnswerList::TAnswerList(QWidget *parent) : QListWidget(parent)
{
    setItemDelegate(new TAnswerDelegate(this));
    setUniformItemSizes(true);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QListWidget::itemEntered, this, [this](QListWidgetItem *item) { setCurrentItem(item); });
}

TPageControl::TPageControl(QWidget *parent) : QWidget(parent), m_tabs(new QTabBar(this))
{
    m_tabs->setObjectName(QStringLiteral("PCInputTabs"));
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->setFocusPolicy(Qt::NoFocus);
    // All three captions fit the answer area's width without scroll arrows.
    m_tabs->setUsesScrollButtons(false);
    m_tabs->setElideMode(Qt::ElideNone);
    QFont tabs = m_tabs->font();
    tabs.setPixelSize(11);
    m_tabs->setFont(tabs);
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int i) { setCurrentIndex(i); });
}

QWidget *TPageControl::AddPage(const QString &objectName, const QString &caption)
{
    auto *page = new QFrame(this);
    page->setObjectName(objectName);
    page->setFrameShape(QFrame::StyledPanel);
    page->hide();
    m_pages.push_back(page);
    m_tabs->addTab(caption);
    if (m_current < 0)
        setCurrentIndex(0);
    return page;
}

void TPageControl::setCurrentIndex(int index)
{
    if (index < 0 || index >= m_pages.size() || index == m_current)
        return;
    m_current = index;
    for (int i = 0; i < m_pages.size(); ++i)
        m_pages[i]->setVisible(i == index);
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(index);
    }
    emit currentChanged(index);
}

void TPageControl::resizeEvent(QResizeEvent *)
{
    m_tabs->setGeometry(0, 0, width(), TabHeight);
    for (QWidget *p : m_pages)
        p->setGeometry(0, TabHeight, width(), std::max(0, height() - TabHeight));
}

TPanelSplitter::TPanelSplitter(QWidget *parent) : QWidget(parent)
{
    setCursor(Qt::SplitVCursor);
}

void TPanelSplitter::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_lastY = int(e->globalPosition().y());
}

void TPanelSplitter::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_dragging)
        return;
    const int y = int(e->globalPosition().y());
    if (y != m_lastY) {
        const int dy = y - m_lastY;
        m_lastY = y;
        emit dragged(dy);
    }
}

void TPanelSplitter::mouseReleaseEvent(QMouseEvent *e)
{
    if (!m_dragging || e->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    emit released();
}

// --- The window --------------------------------------------------------------------------------

TFWordpop::TFWordpop(const TImageList &images, TTopics &topics, QWidget *parent)
    : QWidget(parent, Qt::Window), m_topics(topics)
{
    setObjectName(QStringLiteral("FWordpop"));
    setFont(pixelFont(QStringLiteral("Tahoma"), 12, false));
    setWindowTitle(ProductName + QLatin1Char(' ') + ProductVersion());

    MPlayer = new TSoundPlayer(this);
    MPlayer->setObjectName(QStringLiteral("MPlayer"));
    m_wordSound = new TWordSound(*MPlayer, this);
    m_wordSound->TLoopPlay.setObjectName(QStringLiteral("TLoopPlay"));
    m_lesson = new TLesson(m_topics, this);
    m_lesson->SetSound(MPlayer, m_wordSound);

    Timer.setObjectName(QStringLiteral("Timer"));
    Timer.setParent(this);
    // A coarse timer may fire 5 % early: 45 seconds of a quarter of an hour.
    Timer.setTimerType(Qt::PreciseTimer);
    connect(&Timer, &QTimer::timeout, this, &TFWordpop::LessonTimerTick);

    BuildControls(images);

    connect(m_lesson, &TLesson::QuestionShown, this, &TFWordpop::QuestionShown);
    connect(m_lesson, &TLesson::PanelChanged, this, &TFWordpop::PanelChanged);
    connect(m_lesson, &TLesson::StatisticsChanged, this, &TFWordpop::StatisticsChanged);
    connect(m_lesson, &TLesson::WordHintChanged, this, &TFWordpop::WordHintChanged);
    // Enough right answers: hidden, which runs HideTrainer -- in children mode too, where the
    // user cannot close the window.
    connect(m_lesson, &TLesson::CloseRequested, this, [this] { hide(); });

    resize(kDesignWidth, 183);
    setMinimumSize(MinimumClientSize());
    ApplyWindowMode(true);
    DoLayout();
    UpdateControls();
    LayoutOnFocus::install(EAnswer, 1);
    InstallHelpKey(this);
}

TFWordpop::~TFWordpop()
{
    Timer.stop();
    m_wordSound->Stop();
    // Users before what they use: the lesson, the word sound, then the player.
    delete m_lesson;
    delete m_wordSound;
    delete MPlayer;
    if (FWordpop == this)
        FWordpop = nullptr;
}

void TFWordpop::BuildControls(const TImageList &images)
{
    const QFont windowFont = font();

    PQuestion = new QFrame(this);
    PQuestion->setObjectName(QStringLiteral("PQuestion"));
    setBackground(PQuestion, kNavy);
    ChQuestionVisible = new QCheckBox(PQuestion);
    ChQuestionVisible->setObjectName(QStringLiteral("ChQuestionVisible"));
    LQWord = new QLabel(PQuestion);
    LQWord->setObjectName(QStringLiteral("LQWord"));
    LQWord->setAlignment(Qt::AlignCenter);
    LQWord->setWordWrap(true);
    LQWord->setMinimumHeight(23);
    m_questionFont = pixelFont(QStringLiteral("Arial"), 16, true);
    LQWord->setFont(m_questionFont);
    setTextColour(LQWord, Qt::yellow);

    Splitter1 = new TPanelSplitter(this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));

    PMain = new QWidget(this);
    PMain->setObjectName(QStringLiteral("PMain"));

    PCInput = new TPageControl(PMain);
    PCInput->setObjectName(QStringLiteral("PCInput"));
    TSSelect = PCInput->AddPage(QStringLiteral("TSSelect"), tr("Выбор"));
    TSTyping = PCInput->AddPage(QStringLiteral("TSTyping"), tr("Ввод"));
    TSStatistics = PCInput->AddPage(QStringLiteral("TSStatistics"), tr("Статистика"));

    LAWords = new TAnswerList(TSSelect);
    LAWords->setObjectName(QStringLiteral("LAWords"));

    LEnterAnswer = new QLabel(tr("Введите перевод"), TSTyping);
    LEnterAnswer->setObjectName(QStringLiteral("LEnterAnswer"));
    EAnswer = new QLineEdit(TSTyping);
    EAnswer->setObjectName(QStringLiteral("EAnswer"));
    EAnswer->setMaxLength(79);
    CBShowFirstLetter = new QCheckBox(tr("Отображать первую букву"), TSTyping);
    CBShowFirstLetter->setObjectName(QStringLiteral("CBShowFirstLetter"));

    TSStat = new QLabel(TSStatistics);
    TSStat->setObjectName(QStringLiteral("TSStat"));
    TSStat->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PBLearnProgress = new QProgressBar(TSStatistics);
    PBLearnProgress->setObjectName(QStringLiteral("PBLearnProgress"));
    PBLearnProgress->setTextVisible(false);
    PBLearnProgress->setRange(0, 0);

    PErrors = new QFrame(PMain);
    PErrors->setObjectName(QStringLiteral("PErrors"));
    setBackground(PErrors, kRed);
    const QFont panelFont = pixelFont(QStringLiteral("MS Sans Serif"), 13, true);
    auto panel = [&](const char *name) {
        auto *p = new QFrame(PErrors);
        p->setObjectName(QLatin1String(name));
        setBackground(p, palette().color(QPalette::Window));
        p->setFrameShape(QFrame::Panel);
        p->setFrameShadow(QFrame::Raised);
        p->setFont(panelFont);
        setTextColour(p, Qt::blue);
        return p;
    };
    auto panelButton = [&](QWidget *parent, const char *name, const QString &caption, int image, bool red) {
        auto *b = new THighlightButton(QIcon(images.pixmap(image)), caption, red, parent);
        b->setObjectName(QLatin1String(name));
        b->setFont(windowFont);
        b->setAutoDefault(false);
        return b;
    };
    PError1 = panel("PError1");
    LErr1 = new QLabel(tr("Вы можете добавить новое слово (\"добавить слово\"), либо выбрать тему, "
                                      "содержащую новые слова (\"Словари\")."),
                       PError1);
    LErr1->setObjectName(QStringLiteral("LErr1"));
    LErr1->setWordWrap(true);
    LErr1->setAlignment(Qt::AlignCenter);
    PError2 = panel("PError2");
    PError3 = panel("PError3");
    LErr3_1 = new QLabel(tr("переводится как"), PError3);
    LErr3_1->setObjectName(QStringLiteral("LErr3_1"));
    QFont regular = panelFont;
    regular.setBold(false);
    LErr3_1->setFont(regular);
    LErr3_1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LErr3_2 = new QLabel(PError3);
    LErr3_2->setObjectName(QStringLiteral("LErr3_2"));
    LErr3_2->setAlignment(Qt::AlignCenter);
    LErr3_2->setWordWrap(true);
    LErr3_2->setFont(pixelFont(panelFont.family(), 16, true));
    BRemember = panelButton(PError3, "BRemember", tr("Запомню"), TImageList::Confirm, false);
    PError4 = panel("PError4");
    LErr4_1 = new QLabel(tr("Удалить это слово ?"), PError4);
    LErr4_1->setObjectName(QStringLiteral("LErr4_1"));
    LErr4_1->setAlignment(Qt::AlignCenter);
    LErr4_1->setWordWrap(true);
    BDelWordOk = panelButton(PError4, "BDelWordOk", tr("Да"), TImageList::Confirm, true);
    BDelWordCancel = panelButton(PError4, "BDelWordCancel", tr("Нет"), TImageList::Refuse, false);

    m_error = new TError(PErrors, PCInput, this);
    m_error->setObjectName(QStringLiteral("TError"));
    for (QFrame *p : {PError1, PError2, PError3, PError4})
        m_error->Register(p);
    m_error->SetButtons(BRemember, BDelWordOk, BDelWordCancel);

    auto small = [&](const char *name, int image, const QString &hint, bool red) {
        auto *b = new TImageButton(images.pixmap(image), QString(), red, PMain);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(hint);
        // A screen reader has only the hint to read for a picture.
        b->setAccessibleName(hint);
        return b;
    };
    BAddWord = small("BAddWord", TImageList::Add, tr("Добавить слово"), false);
    BEditWord = small("BEditWord", TImageList::EditWord, tr("Изменить слово"), false);
    BPlay = small("BPlay", TImageList::Play, tr("Воспроизвести звук"), false);
    BMoveToLearned = small("BMoveToLearned", TImageList::Confirm, tr("Перенести слово в выученные"), false);
    BDelWord = small("BDelWord", TImageList::Refuse, tr("Удалить слово"), true);
    auto wide = [&](const char *name, int image, const QString &caption, bool red) {
        auto *b = new TImageButton(images.pixmap(image), caption, red, PMain);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    BHelp = wide("BHelp", TImageList::Information, tr("Инфо"), false);
    BEdit = wide("BEdit", TImageList::Dictionaries, tr("Словари"), false);
    BOptions = wide("BOptions", TImageList::Options, tr("Настройки"), false);
    BQuit = wide("BQuit", TImageList::Refuse, tr("Выход"), true);

    Splitter2 = new TPanelSplitter(this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));

    PTranscr_old = new QFrame(this);
    PTranscr_old->setObjectName(QStringLiteral("PTranscr_old"));
    PTranscr_old->setFrameShape(QFrame::Box);
    PTranscr_old->setFrameShadow(QFrame::Plain);
    setBackground(PTranscr_old, kNavy);
    ChShowTranscr = new QCheckBox(PTranscr_old);
    ChShowTranscr->setObjectName(QStringLiteral("ChShowTranscr"));
    PTranscr = new QLabel(PTranscr_old);
    PTranscr->setObjectName(QStringLiteral("PTranscr"));
    PTranscr->setAlignment(Qt::AlignCenter);
    PTranscr->setWordWrap(true);
    PTranscr->setMinimumHeight(16);
    m_transcriptionFont = pixelFont(QStringLiteral("Tahoma"), 12, true);
    PTranscr->setFont(m_transcriptionFont);
    setTextColour(PTranscr, Qt::white);
    // Ticking a box with the mouse leaves the focus on the answer.
    for (QCheckBox *c : {ChQuestionVisible, ChShowTranscr})
        c->setFocusPolicy(Qt::TabFocus);
    // The boxes and the answer field carry no caption of their own.
    ChQuestionVisible->setAccessibleName(tr("Показывать вопрос"));
    ChShowTranscr->setAccessibleName(tr("Показывать транскрипцию"));
    EAnswer->setAccessibleName(tr("Ответ"));

    // Clicks and keys.
    connect(ChQuestionVisible, &QCheckBox::clicked, this, &TFWordpop::ChQuestionVisibleClicked);
    connect(ChShowTranscr, &QCheckBox::clicked, this, &TFWordpop::ChShowTranscrClicked);
    connect(CBShowFirstLetter, &QCheckBox::clicked, this, &TFWordpop::CBShowFirstLetterClicked);
    connect(PCInput, &TPageControl::currentChanged, this, &TFWordpop::PageChanged);
    connect(BAddWord, &QToolButton::clicked, this, &TFWordpop::AddWord);
    connect(BEditWord, &QToolButton::clicked, this, &TFWordpop::EditWord);
    connect(BPlay, &QToolButton::clicked, this, [this] { m_wordSound->PlayWordSound(); });
    connect(BMoveToLearned, &QToolButton::clicked, this, &TFWordpop::MoveWordToLearned);
    connect(BDelWord, &QToolButton::clicked, this, &TFWordpop::AskDelete);
    connect(BHelp, &QToolButton::clicked, this, &TFWordpop::OpenInformation);
    connect(BEdit, &QToolButton::clicked, this, &TFWordpop::OpenDictionaries);
    connect(BOptions, &QToolButton::clicked, this, &TFWordpop::OpenOptions);
    connect(BQuit, &QToolButton::clicked, this, &TFWordpop::QuitProgram);
    connect(BRemember, &QPushButton::clicked, this, &TFWordpop::RememberClicked);
    connect(BDelWordOk, &QPushButton::clicked, this, [this] { m_lesson->DeleteConfirmed(); });
    connect(BDelWordCancel, &QPushButton::clicked, this, [this] { m_lesson->RestoreNormal(); });

    connect(Splitter1, &TPanelSplitter::dragged, this, [this](int dy) {
        const int height = std::max(kMinQuestionHeight, m_questionHeight + dy);
        const int change = height - m_questionHeight;
        if (change == 0)
            return;
        m_questionHeight = height;
        // The window grows with the panel, so the answer area keeps its size.
        resize(width(), this->height() + change);
        DoLayout();
    });
    connect(Splitter2, &TPanelSplitter::dragged, this, [this](int dy) {
        const int height = std::max(kMinTranscriptionHeight, m_transcriptionHeight - dy);
        const int change = height - m_transcriptionHeight;
        if (change == 0)
            return;
        m_transcriptionHeight = height;
        m_pendingHeight += change;
        DoLayout();
    });
    connect(Splitter2, &TPanelSplitter::released, this, [this] {
        const int change = m_pendingHeight;
        m_pendingHeight = 0;
        if (change != 0)
            resize(width(), height() + change);
        DoLayout();
    });

    installEventFilter(this);
    for (QWidget *w : findChildren<QWidget *>())
        w->installEventFilter(this);
    LAWords->viewport()->installEventFilter(this);
}

QSize TFWordpop::MinimumClientSize() const
{
    // The original's 341 x 213 (375 x 237 above 96 dpi) are outer sizes; here the frame is the
    // window manager's, so the minimum is the client area they leave.
    if (Desktop::logicalDpi() <= 96)
        return QSize(333, 183);
    return QSize(367, 207);
}

int TFWordpop::VisibleRows() const
{
    return LAWords->height() / TAnswerList::ItemHeight;
}

void TFWordpop::DoLayout()
{
    if (m_layoutBusy)
        return;
    m_layoutBusy = true;
    const int w = width();
    const int h = height();
    const int qh = m_questionHeight;
    const int th = m_transcriptionHeight;

    PQuestion->setGeometry(0, 0, w, qh);
    ChQuestionVisible->setGeometry(6, 6, 15, 16);
    LQWord->setGeometry(22, 3, std::max(0, w - 22 - 3), std::max(23, qh - 6));
    Splitter1->setGeometry(0, qh, w, kSplitterHeight);

    PTranscr_old->setGeometry(0, h - th, w, th);
    ChShowTranscr->setGeometry(3, 4, 15, 16);
    PTranscr->setGeometry(23, 3, std::max(0, w - 23 - 3), std::max(16, th - 6));
    Splitter2->setGeometry(0, h - th - kSplitterHeight, w, kSplitterHeight);

    const int mainTop = qh + kSplitterHeight;
    const int mh = std::max(0, h - th - kSplitterHeight - mainTop);
    PMain->setGeometry(0, mainTop, w, mh);

    // Answer area: 209 of 333 wide, the buttons in the 124 pixels right of it.
    const int areaWidth = std::max(0, w - (kDesignWidth - 209));
    const QRect area(0, 2, areaWidth, std::max(0, mh - 2));
    PCInput->setGeometry(area);
    PErrors->setGeometry(area);
    const int pageWidth = areaWidth;
    const int pageHeight = std::max(0, area.height() - TPageControl::TabHeight);
    LAWords->setGeometry(2, 2, std::max(0, pageWidth - 4), std::max(0, pageHeight - 4));
    LEnterAnswer->setGeometry(3, 10, std::max(0, pageWidth - 6), 16);
    EAnswer->setGeometry(0, 31, std::max(0, pageWidth - 8), 21);
    CBShowFirstLetter->setGeometry(16, 62, std::max(0, pageWidth - 18), 17);
    constexpr int barHeight = 16;
    TSStat->setGeometry(4, 2, std::max(0, pageWidth - 8), std::max(0, pageHeight - barHeight - 6));
    PBLearnProgress->setGeometry(2, std::max(0, pageHeight - barHeight - 2), std::max(0, pageWidth - 4), barHeight);

    const QRect panelRect(8, 8, std::max(0, area.width() - 16), std::max(0, area.height() - 16));
    for (QFrame *p : {PError1, PError2, PError3, PError4})
        p->setGeometry(panelRect);
    const int pw = panelRect.width();
    const int ph = panelRect.height();
    LErr1->setGeometry(4, 4, std::max(0, pw - 8), std::max(0, ph - 8));
    BRemember->setGeometry(pw - 123 - 4, ph - 21 - 4, 123, 21);
    LErr3_1->setGeometry(4, 3, std::max(0, pw - 8), 16);
    LErr3_2->setGeometry(4, 3 + 16, std::max(0, pw - 8), std::max(0, BRemember->y() - 5 - 19));
    BDelWordCancel->setGeometry(pw - 73 - 4, ph - 21 - 4, 73, 21);
    BDelWordOk->setGeometry(BDelWordCancel->x() - 73 - 4, ph - 21 - 4, 73, 21);
    LErr4_1->setGeometry(4, 4, std::max(0, pw - 8), std::max(0, BDelWordOk->y() - 8));

    const int right = w - kDesignWidth; // buttons keep their distance from the right edge
    BAddWord->setGeometry(215 + right, 3, 23, 22);
    BEditWord->setGeometry(238 + right, 3, 23, 22);
    BPlay->setGeometry(261 + right, 3, 23, 22);
    BMoveToLearned->setGeometry(281 + right, 3, 23, 22);
    BDelWord->setGeometry(303 + right, 3, 23, 22);
    BHelp->setGeometry(211 + right, 32, 119, 21);
    BEdit->setGeometry(211 + right, 55, 119, 21);
    BOptions->setGeometry(211 + right, 78, 119, 21);
    BQuit->setGeometry(211 + right, std::max(101, mh - 23), 119, 21);
    m_layoutBusy = false;
}

void TFWordpop::resizeEvent(QResizeEvent *)
{
    DoLayout();
    // Every resize: the number of answers follows the list.
    m_lesson->SetVisibleRows(VisibleRows());
}

// --- Start, show, hide, quit ---------------------------------------------------------------------

bool TFWordpop::InitialLoad()
{
    // Each folder that cannot be made has said so; the program then ends.
    if (!EnsureProgramFolders())
        return false;
    m_lesson->RecountWords(KindBit(tkOn) | KindBit(tkLearned));
    m_lesson->SeedFromClock();
    PCInput->setCurrentIndex(std::clamp<int>(Options.InputPage, 0, PCInput->count() - 1));
    ArmLessonTimer();
    setMinimumSize(MinimumClientSize());
    resize(std::max(width(), minimumWidth()), std::max(height(), minimumHeight()));
    CBShowFirstLetter->setChecked(Options.ShowFirstLetter);
    ApplyModeAndSize();
    StatisticsChanged();
    if (Options.StartImmediately)
        ShowTrainer();
    return true;
}

void TFWordpop::ApplyModeAndSize()
{
    ApplyWindowMode(!isVisible() || !m_showPrepared);
}

void TFWordpop::ApplyWindowMode(bool flagsAllowed)
{
    DoLayout();
    m_lesson->SetVisibleRows(VisibleRows());

    const bool children = Options.ChildrenMode;
    QString caption = windowTitle();
    if (children) {
        if (!caption.startsWith(ProductName.at(0)))
            caption.prepend(ProductName.at(0));
    } else if (!caption.startsWith(ProductName.at(1))) {
        caption.remove(0, 1);
    }
    setWindowTitle(caption);

    if (!m_modeApplied || children != m_children) {
        m_modeApplied = true;
        m_children = children;
        Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (children)
            flags |= Qt::WindowStaysOnTopHint; // no system menu, so no close box
        else
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        auto apply = [this, flags] {
            const bool visible = isVisible();
            const QPoint position = pos();
            m_changingFlags = true;
            setWindowFlags(flags);
            if (visible) {
                move(position);
                show();
            }
            m_changingFlags = false;
        };
        if (flagsAllowed)
            apply();
        else
            QTimer::singleShot(0, this, apply);
    }
    // No resizing in children mode, splitters included.
    if (children) {
        setFixedSize(size());
    } else {
        setMinimumSize(MinimumClientSize());
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    Splitter1->setEnabled(!children);
    Splitter2->setEnabled(!children);
    UpdateControls();

    ShowTranscriptionLine();
    ChQuestionVisible->setChecked(Options.QuestionVisible);
    ChShowTranscr->setChecked(Options.ShowTranscription);
    m_lesson->SetQuestionVisible(Options.QuestionVisible);
    m_lesson->SetShowTranscription(Options.ShowTranscription);
}

void TFWordpop::ShowTrainer()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    PrepareShow(true);
    m_showPrepared = true;
    show();
    m_showPrepared = false;
    raise();
    activateWindow();
}

void TFWordpop::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || m_showPrepared || m_changingFlags)
        return;
    m_showPrepared = true;
    PrepareShow(false);
    m_showPrepared = false;
}

void TFWordpop::PrepareShow(bool flagsAllowed)
{
    if (OnLessonStarted)
        OnLessonStarted();
    m_questionHeight = std::max(kMinQuestionHeight, int(Options.QuestionPanelHeight));
    m_transcriptionHeight = std::max(kMinTranscriptionHeight, int(Options.TranscriptionPanelHeight));
    RestoreWindowRect(this, Options.TrainerWindowRect, false);
    m_lesson->SeedFromClock();
    ApplyWindowMode(flagsAllowed);
    m_lesson->StartLesson();
    if (LAWords->count() > 0)
        LAWords->setCurrentRow(0);
}

void TFWordpop::SavePlacement()
{
    Options.QuestionPanelHeight = PQuestion->height();
    Options.TranscriptionPanelHeight = PTranscr_old->height();
    SaveWindowRect(this, Options.TrainerWindowRect);
}

void TFWordpop::HideTrainer()
{
    m_wordSound->Stop();
    if (m_lesson->TrainerState() != tsNormal)
        m_lesson->RestoreNormal();
    SavePlacement();
    SaveOptions();
    if (m_quitting)
        return;
    ArmLessonTimer();
    if (OnLessonEnded)
        OnLessonEnded();
}

void TFWordpop::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Hiding for a change of the window's frame is no end of the lesson.
    if (event->spontaneous() || m_quitting || m_changingFlags)
        return;
    HideTrainer();
}

void TFWordpop::closeEvent(QCloseEvent *event)
{
    event->ignore();
    if (m_quitting)
        return;
    // No close box in children mode; the window manager's close is refused too.
    if (Options.ChildrenMode)
        return;
    hide();
}

void TFWordpop::SaveForSession()
{
    if (m_quitting)
        return;
    // Mid-lesson a correction panel may be open; the sizes kept are those of the normal window.
    if (isVisible() && m_lesson->TrainerState() == tsNormal)
        SavePlacement();
    SaveOptions();
}

void TFWordpop::SaveBeforeEnd()
{
    if (m_quitting)
        return;
    m_wordSound->Stop();
    Timer.stop();
    if (isVisible()) {
        if (m_lesson->TrainerState() != tsNormal)
            m_lesson->RestoreNormal();
        SavePlacement();
    }
    SaveOptions();
    m_quitting = true;
}

void TFWordpop::QuitProgram()
{
    m_quitting = true;
    m_wordSound->Stop();
    Timer.stop();
    SavePlacement();
    SaveOptions();
    // exit(), not quit(): quit() first asks the windows to close, and this one never closes.
    if (OnQuit)
        OnQuit();
    else
        QCoreApplication::exit(0);
}

void TFWordpop::ArmLessonTimer()
{
    // 0 minutes never fires (a zero interval would fire at once, again and again).
    if (Options.AutoShowInterval <= 0) {
        Timer.stop();
        return;
    }
    Timer.setInterval(TimeScale::minutes(Options.AutoShowInterval));
    Timer.start();
}

void TFWordpop::LessonTimerTick()
{
    if (!Options.AutoShow)
        return;
    Timer.stop();
    if (OnLessonTimer)
        OnLessonTimer();
    else
        ShowTrainer();
}

// --- What the lesson shows -------------------------------------------------------------------

void TFWordpop::QuestionShown()
{
    LQWord->setText(m_lesson->QuestionLabel());
    LQWord->setToolTip(m_lesson->WordHint());
    QFont q = m_questionFont;
    ApplyLanguageFont(Options, q, m_lesson->QuestionFontGroup());
    LQWord->setFont(q);

    QFont a = font();
    ApplyLanguageFont(Options, a, m_lesson->AnswerFontGroup());
    LAWords->setFont(a);
    EAnswer->setFont(a);

    LAWords->clear();
    LAWords->addItems(m_lesson->AnswerList());
    EAnswer->setText(m_lesson->HintLetter());
    EAnswer->deselect();
    EAnswer->setCursorPosition(EAnswer->text().size());

    ShowTranscriptionLine();
    UpdateControls();
    // The answer's language: its layout now, whatever AutoSwitchLayout says, and again whenever
    // the box takes the focus (that one as AutoSwitchLayout says).
    LayoutOnFocus::install(EAnswer, m_lesson->AnswerFontGroup());
    LoadKeyboardLayoutByName(m_lesson->AnswerLayout());
    FocusAnswer();
}

void TFWordpop::FocusAnswer()
{
    switch (PCInput->currentIndex()) {
    case 0:
        if (LAWords->count() > 0)
            LAWords->setCurrentRow(0);
        LAWords->setFocus();
        break;
    case 1:
        EAnswer->setFocus();
        break;
    default:
        break;
    }
}

void TFWordpop::ShowTranscriptionLine()
{
    const QString line = m_lesson->TranscriptionLine();
    PTranscr->setText(line);
    PTranscr->setToolTip(line);
    QFont f = m_transcriptionFont;
    if (m_lesson->HasQuestion() && !m_lesson->TranscriptionPlaceholder())
        ApplyLanguageFont(Options, f, 2);
    else
        f.setFamily(QStringLiteral("Tahoma"));
    PTranscr->setFont(f);
}

void TFWordpop::PanelChanged(int previous, int state)
{
    if (state == tsCorrection) {
        const QString answer = m_lesson->ExpectedAnswer();
        LErr3_2->setText(answer);
        LErr3_2->setToolTip(answer);
        QFont f = LErr3_2->font();
        ApplyLanguageFont(Options, f, m_lesson->AnswerFontGroup());
        LErr3_2->setFont(f);
    }
    m_error->ShowState(state);
    if (state == tsNoWords) {
        LQWord->setText(m_lesson->QuestionLabel());
        LQWord->setToolTip(QString());
        PTranscr->clear();
        PTranscr->setToolTip(QString());
    }
    if (previous == tsNoWords || previous == tsDelete) {
        ChQuestionVisible->setChecked(Options.QuestionVisible);
        m_lesson->SetQuestionVisible(Options.QuestionVisible);
    }
    UpdateControls();
    // The keys of a panel reach it through its button.
    if (state == tsCorrection)
        BRemember->setFocus();
    else if (state == tsDelete)
        BDelWordOk->setFocus();
    else if (state == tsNormal && isVisible())
        FocusAnswer();
}

void TFWordpop::StatisticsChanged()
{
    TSStat->setText(m_lesson->StatisticsText());
    PBLearnProgress->setRange(0, std::max(0, m_lesson->ProgressMaximum()));
    PBLearnProgress->setValue(std::clamp(m_lesson->ProgressPosition(), 0, std::max(0, m_lesson->ProgressMaximum())));
}

void TFWordpop::WordHintChanged()
{
    if (m_lesson->TrainerState() != tsNoWords)
        LQWord->setToolTip(m_lesson->WordHint());
}

bool TFWordpop::WordCommandsAllowed() const
{
    const int state = m_lesson->TrainerState();
    return state != tsNoWords && state != tsDelete;
}

bool TFWordpop::WindowCommandsAllowed() const
{
    return m_lesson->TrainerState() != tsDelete;
}

void TFWordpop::UpdateControls()
{
    const bool children = Options.ChildrenMode;
    const int state = m_lesson->TrainerState();
    const bool word = WordCommandsAllowed();
    BQuit->setEnabled(!children);
    BEdit->setEnabled(!children && WindowCommandsAllowed() && bool(RunDictionaries));
    BDelWord->setEnabled(!children && word);
    BMoveToLearned->setEnabled(!children && word && m_lesson->MoveToLearnedEnabled());
    BEditWord->setEnabled(!children && word && bool(RunEditWord));
    CBShowFirstLetter->setEnabled(!children);
    BAddWord->setEnabled(WindowCommandsAllowed() && bool(RunAddWord));
    BOptions->setEnabled(bool(RunOptions));
    BPlay->setEnabled(state != tsNoWords && m_lesson->PlayEnabled());
    ChQuestionVisible->setEnabled(word);
    ChShowTranscr->setEnabled(word && m_lesson->TranscriptionCheckEnabled());
}

// --- Controls ------------------------------------------------------------------------------------

void TFWordpop::ChQuestionVisibleClicked(bool checked)
{
    if (m_lesson->TrainerState() != tsNormal) {
        ChQuestionVisible->setChecked(!checked);
        return;
    }
    Options.QuestionVisible = checked;
    SaveOptions();
    m_lesson->SetQuestionVisible(checked);
    LQWord->setText(m_lesson->QuestionLabel());
}

void TFWordpop::ChShowTranscrClicked(bool checked)
{
    if (m_lesson->TrainerState() != tsNormal) {
        ChShowTranscr->setChecked(!checked);
        return;
    }
    Options.ShowTranscription = checked;
    SaveOptions();
    m_lesson->SetShowTranscription(checked);
    ShowTranscriptionLine();
}

void TFWordpop::CBShowFirstLetterClicked(bool checked)
{
    const bool wasOn = Options.ShowFirstLetter;
    if (wasOn && EAnswer->text().size() == 1)
        EAnswer->clear();
    else if (!wasOn && EAnswer->text().isEmpty())
        EAnswer->setText(m_lesson->ExpectedAnswer().left(1));
    Options.ShowFirstLetter = checked;
    SaveOptions();
}

void TFWordpop::PageChanged(int index)
{
    Options.InputPage = index;
    if (index == 1)
        EAnswer->setFocus();
}

void TFWordpop::AnswerFromList()
{
    QListWidgetItem *item = LAWords->currentItem();
    if (!item)
        return;
    m_lesson->AnswerFromList(item->text());
}

void TFWordpop::MoveWordToLearned()
{
    if (WordCommandsAllowed())
        m_lesson->MoveWordToLearned();
}

void TFWordpop::AskDelete()
{
    if (m_lesson->TrainerState() == tsNormal)
        m_lesson->ShowPanel(tsDelete);
}

void TFWordpop::RememberClicked()
{
    m_lesson->RememberClicked();
    if (PCInput->currentIndex() == 1) {
        EAnswer->setFocus();
        if (CBShowFirstLetter->isChecked() && !EAnswer->text().isEmpty())
            EAnswer->setSelection(1, EAnswer->text().size() - 1);
        else
            EAnswer->selectAll();
    } else if (PCInput->currentIndex() == 0) {
        LAWords->setFocus();
    }
}

template <typename F> auto TFWordpop::WithOtherWindow(F run)
{
    m_wordSound->Stop();
    struct Resume {
        TWordSound *sound;
        ~Resume() { sound->Resume(); }
    } resume{m_wordSound};
    return run();
}

void TFWordpop::AddWord()
{
    if (!RunAddWord || !WindowCommandsAllowed())
        return;
    try {
        m_lesson->ReopenCurrentDictionary();
    } catch (const EEngineError &) {
        // The dialog starts on another dictionary then.
    }
    if (WithOtherWindow([this] { return RunAddWord(); }) == 1)
        m_lesson->NextQuestion();
}

void TFWordpop::EditWord()
{
    if (!RunEditWord || !WordCommandsAllowed())
        return;
    if (!m_lesson->ReachQuestionRecord())
        return;
    if (WithOtherWindow([this] { return RunEditWord(); }) == 1)
        m_lesson->NextQuestion();
}

void TFWordpop::OpenDictionaries()
{
    if (!RunDictionaries || !WindowCommandsAllowed())
        return;
    TopicKinds changed = 0;
    if (!WithOtherWindow([&] { return RunDictionaries(changed); }))
        return;
    m_lesson->RecountWords(changed);
    ApplyModeAndSize();
    m_lesson->NextQuestion();
}

void TFWordpop::OpenOptions()
{
    if (!RunOptions)
        return;
    const QString open = m_topics.OpenPath();
    if (!open.isEmpty())
        m_topics.CloseDictionary();
    const QPoint position = pos() + QPoint(10, 30);
    if (WithOtherWindow([&] { return RunOptions(position); })) {
        ApplyModeAndSize();
        m_lesson->NextQuestion();
    } else if (!open.isEmpty()) {
        m_topics.OpenDictionary(open);
    }
}

void TFWordpop::OpenInformation()
{
    WithOtherWindow([this] {
        ShowInformation(this);
        return 0;
    });
}

// --- Mouse and keys --------------------------------------------------------------------------------

bool TFWordpop::GiveUpClick(QObject *watched, QEvent *event)
{
    if (watched != PQuestion && watched != LQWord && watched != PTranscr)
        return false;
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return false;
    // While a panel is shown the question and the transcription line take no clicks.
    if (m_lesson->TrainerState() == tsNormal)
        m_lesson->GiveUp();
    return true;
}

bool TFWordpop::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        // Tabbing into the answer box puts the caret at the end, nothing selected.
        if (watched == EAnswer) {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                QTimer::singleShot(0, EAnswer, [this] {
                    EAnswer->deselect();
                    EAnswer->setCursorPosition(EAnswer->text().size());
                });
        }
        return false;
    case QEvent::KeyPress:
        if (auto *w = qobject_cast<QWidget *>(watched); w && (w == this || isAncestorOf(w)))
            return HandleKey(watched, static_cast<QKeyEvent *>(event));
        return false;
    case QEvent::MouseButtonPress:
        if (watched == LAWords->viewport()) {
            auto *e = static_cast<QMouseEvent *>(event);
            if (e->button() != Qt::LeftButton)
                return false;
            // The row under the pointer is the selected one; pressing it answers.
            if (QListWidgetItem *item = LAWords->itemAt(e->position().toPoint()))
                LAWords->setCurrentItem(item);
            LAWords->setFocus();
            AnswerFromList();
            return true;
        }
        return GiveUpClick(watched, event);
    default:
        return false;
    }
}

void TFWordpop::keyPressEvent(QKeyEvent *event)
{
    if (!HandleKey(this, event))
        QWidget::keyPressEvent(event);
}

bool TFWordpop::HandleKey(QObject *watched, QKeyEvent *event)
{
    if (m_lesson->TrainerState() != tsNormal && HandlePanelKeyFor(event))
        return true;
    if (watched == LAWords)
        return ListKey(event);
    if (watched == EAnswer)
        return AnswerEditKey(event);
    if (KeyTable(event))
        return true;
    // The window takes no characters (the check boxes and buttons keep their Space).
    if (watched == this && !event->text().isEmpty())
        return true;
    return false;
}

bool TFWordpop::HandlePanelKeyFor(QKeyEvent *event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    return m_error->HandlePanelKey(event->key());
}

bool TFWordpop::ListKey(QKeyEvent *event)
{
    const int key = event->key();
    const int count = LAWords->count();
    const int row = LAWords->currentRow();
    if (key == Qt::Key_Backspace) {
        MoveWordToLearned();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        AnswerFromList();
        return true;
    }
    if (key == Qt::Key_Up && count > 0 && row <= 0) {
        LAWords->setCurrentRow(count - 1);
        return true;
    }
    if (key == Qt::Key_Down && count > 0 && row == count - 1) {
        LAWords->setCurrentRow(0);
        return true;
    }
    if (const int digit = digitOf(event); digit >= 0 && !(modifiersOf(event) & (Qt::ControlModifier | Qt::AltModifier))) {
        const int wanted = digit == 0 ? 10 : digit;
        if (wanted <= count)
            LAWords->setCurrentRow(wanted - 1);
        return true;
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Home || key == Qt::Key_End ||
        key == Qt::Key_PageUp || key == Qt::Key_PageDown)
        return false;
    if (KeyTable(event))
        return true;
    // No characters in the list (no search by typing).
    return !event->text().isEmpty();
}

bool TFWordpop::AnswerEditKey(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_lesson->AnswerTyped(EAnswer->text());
        return true;
    }
    if (key == Qt::Key_Escape) {
        const QString text = EAnswer->text();
        const bool hintLetter = CBShowFirstLetter->isChecked();
        if (hintLetter && text.size() != 1) {
            EAnswer->setText(text.left(1));
            EAnswer->setCursorPosition(EAnswer->text().size());
        } else if (!hintLetter && !text.isEmpty()) {
            EAnswer->clear();
        } else if (!Options.ChildrenMode) {
            close();
        }
        return true;
    }
    // The keypad's plus and minus are characters of the answer here.
    if ((event->modifiers() & Qt::KeypadModifier) && (key == Qt::Key_Plus || key == Qt::Key_Minus))
        return false;
    return KeyTable(event);
}

bool TFWordpop::KeyTable(QKeyEvent *event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = modifiersOf(event);
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    const bool typingPage = PCInput->currentIndex() == 1;
    const bool alt = mods == Qt::AltModifier;

    if (key == Qt::Key_Backspace) {
        if (typingPage && mods != Qt::ControlModifier)
            return false;
        MoveWordToLearned();
        return true;
    }
    if (key == Qt::Key_Escape) {
        if (!Options.ChildrenMode)
            close();
        return true;
    }
    if (key == Qt::Key_Insert && mods == Qt::NoModifier) {
        AddWord();
        return true;
    }
    if (key == Qt::Key_Delete) {
        if (typingPage && mods != Qt::ControlModifier)
            return false;
        if (!Options.ChildrenMode)
            AskDelete();
        return true;
    }
    if (keypad && key == Qt::Key_Plus) {
        AddWord();
        return true;
    }
    if (keypad && key == Qt::Key_Minus) {
        AskDelete();
        return true;
    }
    if (alt) {
        if (isLetter(event, Qt::Key_D, u'В')) {
            OpenDictionaries();
            return true;
        }
        if (isLetter(event, Qt::Key_E, u'У')) {
            EditWord();
            return true;
        }
        if (isLetter(event, Qt::Key_I, u'Ш')) {
            OpenInformation();
            return true;
        }
        if (isLetter(event, Qt::Key_O, u'Щ')) {
            OpenOptions();
            return true;
        }
        if (isLetter(event, Qt::Key_X, u'Ч')) {
            QuitProgram();
            return true;
        }
    }
    return false;
}

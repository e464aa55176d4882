#include "commondlg/helpwindow.h"

#include "runtime/screen.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFileInfo>
#include <QShortcut>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace commondlg {

namespace {

QPointer<HelpWindow> &theWindow()
{
    static QPointer<HelpWindow> window;
    return window;
}

// Marking every place of a common word would only slow the window down.
constexpr int MaxMarks = 2000;

// A modal window blocks every window but its own: while one is open, the help window is made
// one of its own, so that it answers the mouse and the keys beside it.
void placeBesideModal(HelpWindow &window)
{
    QWidget *modal = QApplication::activeModalWidget();
    window.winId();
    QWindow *handle = window.windowHandle();
    QWindow *owner = modal && modal != &window ? modal->windowHandle() : nullptr;
    if (handle && handle->transientParent() != owner)
        handle->setTransientParent(owner);
}

} // namespace

void showHelp(QWidget *owner, const QString &helpFile, HelpCommand command, const QString &topic)
{
    QPointer<HelpWindow> &window = theWindow();
    if (command == HelpCommand::Quit) {
        if (window)
            window->close();
        return;
    }
    if (!window) {
        window = new HelpWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (owner) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(owner->window()->frameGeometry().center());
            window->move(rt::keptOnScreen(frame, window).topLeft());
        }
    }
    placeBesideModal(*window);
    if (window->helpFile() != helpFile)
        window->load(helpFile);
    window->show();
    window->raise();
    window->activateWindow();
    if (command == HelpCommand::Context && !topic.isEmpty())
        window->showTopic(topic);
}

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setPlaceholderText(QStringLiteral("Search"));
    txtSearch->setClearButtonEnabled(true);
    tvContents = new QTreeWidget(this);
    tvContents->setObjectName(QStringLiteral("tvContents"));
    tvContents->setHeaderHidden(true);
    tvContents->setRootIsDecorated(true);
    txtTopic = new QTextBrowser(this);
    txtTopic->setObjectName(QStringLiteral("txtTopic"));
    txtTopic->setOpenExternalLinks(false);

    auto *side = new QWidget(this);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(txtSearch);
    sideLayout->addWidget(tvContents, 1);
    auto *splitter = new QSplitter(this);
    splitter->addWidget(side);
    splitter->addWidget(txtTopic);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({ 260, 640 });
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    // Escape closes the window, as it closes a dialog.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
        &QWidget::close);
    connect(txtSearch, &QLineEdit::textChanged, this, &HelpWindow::search);
    connect(txtSearch, &QLineEdit::returnPressed, this, &HelpWindow::showFirstMatch);
    connect(tvContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (!item)
            return;
        const int index = item->data(0, Qt::UserRole).toInt();
        if (index >= 0 && index < m_sections.size())
            goTo(m_sections.at(index));
    });
    resize(920, 660);
}

HelpWindow *HelpWindow::current()
{
    return theWindow();
}

void HelpWindow::load(const QString &helpFile)
{
    m_file = helpFile;
    if (QFileInfo(helpFile).isFile()) {
        txtTopic->setSource(QUrl::fromLocalFile(helpFile));
    } else {
        txtTopic->setHtml(QStringLiteral("<p>The help file <b>%1</b> cannot be found.</p>")
                              .arg(helpFile.toHtmlEscaped()));
    }
    const QString title = txtTopic->document()->metaInformation(QTextDocument::DocumentTitle);
    setWindowTitle(title.isEmpty() ? QStringLiteral("Help") : title);
    buildContents();
    search(txtSearch->text());
}

void HelpWindow::buildContents()
{
    m_sections.clear();
    tvContents->clear();
    QTreeWidgetItem *chapter = nullptr;
    const QTextDocument *document = txtTopic->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level == 1 || level == 2) {
            Section section;
            section.title = block.text().simplified();
            section.level = level;
            section.position = block.position();
            for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment)
                section.anchors += fragment.fragment().charFormat().anchorNames();
            section.item = level == 1 || !chapter ? new QTreeWidgetItem(tvContents)
                                                  : new QTreeWidgetItem(chapter);
            section.item->setText(0, section.title);
            section.item->setData(0, Qt::UserRole, int(m_sections.size()));
            if (level == 1)
                chapter = section.item;
            m_sections.append(section);
        }
        if (!m_sections.isEmpty())
            m_sections.last().text += block.text().toLower() + u'\n';
    }
    tvContents->expandAll();
}

void HelpWindow::search(const QString &text)
{
    const QStringList words = text.toLower().split(u' ', Qt::SkipEmptyParts);
    for (Section &section : m_sections) {
        section.matched = std::all_of(words.begin(), words.end(),
            [&](const QString &word) { return section.text.contains(word); });
    }
    // A chapter stays while it or one of its sections holds the words.
    for (int i = int(m_sections.size()) - 1; i >= 0; --i) {
        QTreeWidgetItem *item = m_sections.at(i).item;
        bool shown = m_sections.at(i).matched;
        for (int c = 0; c < item->childCount(); ++c)
            shown = shown || !item->child(c)->isHidden();
        item->setHidden(!shown);
    }
    markWords(words);
}

void HelpWindow::markWords(const QStringList &words)
{
    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat look;
    look.setBackground(QColor(255, 230, 120));
    QTextDocument *document = txtTopic->document();
    for (const QString &word : words) {
        QTextCursor found = document->find(word);
        while (!found.isNull() && marks.size() < MaxMarks) {
            marks.append({ found, look });
            found = document->find(word, found);
        }
    }
    txtTopic->setExtraSelections(marks);
}

void HelpWindow::showFirstMatch()
{
    for (const Section &section : m_sections) {
        if (section.matched) {
            tvContents->setCurrentItem(section.item);
            goTo(section);
            return;
        }
    }
}

void HelpWindow::goTo(const Section &section)
{
    QTextDocument *document = txtTopic->document();
    const QTextBlock block = document->findBlock(section.position);
    txtTopic->setTextCursor(QTextCursor(block));
    const qreal top = document->documentLayout()->blockBoundingRect(block).top();
    txtTopic->verticalScrollBar()->setValue(int(top));
}

QStringList HelpWindow::visibleSections() const
{
    QStringList titles;
    for (const Section &section : m_sections) {
        if (section.item->isHidden()
            || (section.item->parent() && section.item->parent()->isHidden()))
            continue;
        titles.append(QString(2 * (section.level - 1), u' ') + section.title);
    }
    return titles;
}

bool HelpWindow::showSection(const QString &title)
{
    for (const Section &section : m_sections) {
        if (section.title == title) {
            tvContents->setCurrentItem(section.item);
            goTo(section);
            return true;
        }
    }
    return false;
}

bool HelpWindow::showTopic(const QString &anchor)
{
    for (const Section &section : m_sections) {
        if (section.anchors.contains(anchor)) {
            tvContents->setCurrentItem(section.item);
            goTo(section);
            return true;
        }
    }
    return false;
}

QString HelpWindow::sectionShown() const
{
    const int cursor = txtTopic->textCursor().position();
    QString title;
    for (const Section &section : m_sections) {
        if (section.position > cursor)
            break;
        title = section.title;
    }
    return title;
}

} // namespace commondlg

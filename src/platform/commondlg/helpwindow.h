#pragma once
// The help window: shows an HTML help file with its contents (the file's level-1 and level-2
// headings as a tree) beside the text, and a search field that keeps in the tree only the
// sections holding every word typed and marks those words in the text. One window serves the
// whole program; it is not modal, so nothing waits for it, and it can be used beside a modal
// window that is open when it is asked for. A help file that is not there (or is not an ordinary
// file) is named in the window instead of its text. Escape closes it.

#include <QList>
#include <QString>
#include <QWidget>

class QLineEdit;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace commondlg {

// What a program asks of the help: the contents (the help finder), the topic of a dialog, or to
// close the help.
enum class HelpCommand { Context = 1, Quit = 2, Contents = 11 };

// Shows the help file in the help window (opening it, or raising it when it shows that file),
// or closes the window for Quit. For Context, topic names an anchor of the file
// (<a name="topic">) whose section is shown; an anchor the file lacks shows the file as it is.
void showHelp(QWidget *owner, const QString &helpFile, HelpCommand command = HelpCommand::Contents,
    const QString &topic = QString());

class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // The window on screen now, or nullptr.
    static HelpWindow *current();

    void load(const QString &helpFile);
    QString helpFile() const { return m_file; }

    // The titles of the sections the tree shows, in order (level-2 ones indented by two blanks).
    QStringList visibleSections() const;
    // Shows the section of that title at the top of the text (as near as the end of the text
    // allows) with the cursor on its heading; false when there is none.
    bool showSection(const QString &title);
    // Shows the section whose heading carries that anchor; false when none does.
    bool showTopic(const QString &anchor);
    // The title of the section the cursor is in ("" when none).
    QString sectionShown() const;

    QLineEdit *txtSearch = nullptr;
    QTreeWidget *tvContents = nullptr;
    QTextBrowser *txtTopic = nullptr;

private:
    struct Section
    {
        QString title;
        QStringList anchors; // of its heading
        int level = 0;
        int position = 0; // of its heading in the document
        QString text; // heading and body, lower case, for the search
        bool matched = true; // holds every word searched for
        QTreeWidgetItem *item = nullptr;
    };

    void buildContents();
    void search(const QString &text);
    void markWords(const QStringList &words);
    void goTo(const Section &section);
    // Shows the first section that holds every word searched for.
    void showFirstMatch();

    QString m_file;
    QList<Section> m_sections;
};

} // namespace commondlg

#pragma once
// VPListBox: a list of text lines shown in two columns, the line split at its first TAB (the
// part before it in the first column, the rest in the second). The lines themselves are kept
// exactly as given; only their display is split, control characters show as U+FFFD there and a
// cell shows at most its first MaxShown characters.
//
// The operations are those of a classic list box: Clear, AddItem, RemoveItem, List (read and
// write), ListCount and ListIndex (-1 = nothing selected). Click is raised when a line becomes
// the selected one, by the user or by setting ListIndex; DblClick when the user double-clicks a
// line. Removing the selected line leaves nothing selected and raises
// nothing. An index outside the list raises rt::err::InvalidCall (5), as does ListIndex below -1.

#include "runtime/error.h"

#include <QTreeWidget>

namespace vplist {

class VPListBox : public QTreeWidget
{
    Q_OBJECT
public:
    explicit VPListBox(QWidget *parent = nullptr);

    static constexpr qsizetype MaxShown = 1000;

    // The two column headings.
    void setHeadings(const QString &first, const QString &second);

    void Clear();
    // Appends a line, or inserts it before index (0 .. ListCount).
    void AddItem(const QString &line, int index = -1);
    void RemoveItem(int index);
    QString List(int index) const;
    void setList(int index, const QString &line);
    int ListCount() const;
    int ListIndex() const;
    void setListIndex(int index);

    // The two cells a line shows (the second is empty for a line without TAB).
    static QPair<QString, QString> columns(const QString &line);

signals:
    void Click();
    void DblClick();

protected:
    // The columns share the width equally when the list is first shown.
    void showEvent(QShowEvent *event) override;

private:
    void checkIndex(int index, int count) const;
    static void display(QTreeWidgetItem *item, const QString &line);

    bool m_columnsSized = false;
};

} // namespace vplist

#include "vplist/vplistbox.h"

#include "runtime/errnum.h"

#include <QHeaderView>

#include <utility>

namespace vplist {

namespace {

constexpr int LineRole = Qt::UserRole;

// Control characters would draw as nothing or break the row: they show as U+FFFD. A cell shows
// no more than a row can hold (a binary file may make a line of megabytes).
QString visible(QString text)
{
    text.truncate(VPListBox::MaxShown);
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

VPListBox::VPListBox(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(2);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(true);
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        if (current) {
            current->setSelected(true);
            emit Click();
        }
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { emit DblClick(); });
}

void VPListBox::showEvent(QShowEvent *event)
{
    QTreeWidget::showEvent(event);
    if (!std::exchange(m_columnsSized, true))
        setColumnWidth(0, viewport()->width() / 2);
}

void VPListBox::setHeadings(const QString &first, const QString &second)
{
    setHeaderLabels({ first, second });
}

QPair<QString, QString> VPListBox::columns(const QString &line)
{
    const qsizetype tab = line.indexOf(u'\t');
    if (tab < 0)
        return { line, QString() };
    return { line.left(tab), line.mid(tab + 1) };
}

void VPListBox::display(QTreeWidgetItem *item, const QString &line)
{
    const auto [first, second] = columns(line);
    item->setData(0, LineRole, line);
    item->setText(0, visible(first));
    item->setText(1, visible(second));
}

void VPListBox::checkIndex(int index, int count) const
{
    if (index < 0 || index >= count)
        rt::raise(rt::err::InvalidCall);
}

void VPListBox::Clear()
{
    const QSignalBlocker quiet(this);
    clear();
}

void VPListBox::AddItem(const QString &line, int index)
{
    if (index == -1)
        index = ListCount();
    checkIndex(index, ListCount() + 1);
    auto *item = new QTreeWidgetItem;
    display(item, line);
    insertTopLevelItem(index, item);
}

void VPListBox::RemoveItem(int index)
{
    checkIndex(index, ListCount());
    const QSignalBlocker quiet(this);
    const bool selected = index == ListIndex();
    delete takeTopLevelItem(index);
    if (selected) {
        // The view would make a neighbour current: the selection stays empty.
        setCurrentItem(nullptr);
        clearSelection();
    }
}

QString VPListBox::List(int index) const
{
    checkIndex(index, ListCount());
    return topLevelItem(index)->data(0, LineRole).toString();
}

void VPListBox::setList(int index, const QString &line)
{
    checkIndex(index, ListCount());
    display(topLevelItem(index), line);
}

int VPListBox::ListCount() const
{
    return topLevelItemCount();
}

int VPListBox::ListIndex() const
{
    QTreeWidgetItem *item = currentItem();
    return item && item->isSelected() ? indexOfTopLevelItem(item) : -1;
}

void VPListBox::setListIndex(int index)
{
    if (index == -1) {
        const QSignalBlocker quiet(this);
        setCurrentItem(nullptr);
        clearSelection();
        return;
    }
    checkIndex(index, ListCount());
    QTreeWidgetItem *item = topLevelItem(index);
    if (currentItem() == item) {
        item->setSelected(true);
        emit Click();
        return;
    }
    setCurrentItem(item);
    scrollToItem(item);
}

} // namespace vplist

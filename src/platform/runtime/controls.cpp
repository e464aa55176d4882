#include "runtime/controls.h"

#include <QBoxLayout>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QScrollArea>
#include <QSet>
#include <algorithm>

namespace rt {

namespace {

// Watches one control for the focus leaving it by the user's doing.
class LostFocusFilter : public QObject
{
public:
    LostFocusFilter(QWidget *control, std::function<void()> handler)
        : QObject(control)
        , m_handler(std::move(handler))
    {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut && byUser(static_cast<QFocusEvent *>(event)->reason()))
            rt::event(m_handler);
        return QObject::eventFilter(watched, event);
    }

private:
    static bool byUser(Qt::FocusReason reason)
    {
        return reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason
            || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason;
    }

    std::function<void()> m_handler;
};

} // namespace

void onLostFocus(QWidget *control, std::function<void()> handler)
{
    new LostFocusFilter(control, std::move(handler));
}

// Values other than 0, 1 and 2 are refused as the property's invalid value.
void setCheckValue(QCheckBox *check, Int value)
{
    switch (value) {
    case 0:
        check->setCheckState(Qt::Unchecked);
        break;
    case 1:
        check->setCheckState(Qt::Checked);
        break;
    case 2:
        check->setTristate(true);
        check->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        raise(err::InvalidPropertyValue);
    }
}

namespace {

// Collects the controls that take the Tab key, in the order they stand on screen.
class TabWalk
{
public:
    explicit TabWalk(QWidget *window)
        : m_window(window)
    { }

    QList<QWidget *> controls()
    {
        widget(m_window);
        return m_controls;
    }

private:
    void widget(QWidget *w)
    {
        if (m_seen.contains(w) || (w != m_window && w->isWindow()))
            return;
        m_seen.insert(w);
        if (auto *scroll = qobject_cast<QScrollArea *>(w)) {
            if (scroll->widget())
                widget(scroll->widget());
            return;
        }
        if (w != m_window && (w->focusPolicy() & Qt::TabFocus)) {
            m_controls.append(w);
            return;
        }
        if (w->layout())
            layout(w->layout());
        // Children the layout does not place (or all of them, without a layout): by place.
        QList<QWidget *> rest;
        for (QObject *child : w->children()) {
            auto *c = qobject_cast<QWidget *>(child);
            if (c && !m_seen.contains(c))
                rest.append(c);
        }
        std::stable_sort(rest.begin(), rest.end(), [](const QWidget *a, const QWidget *b) {
            return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
        });
        for (QWidget *c : rest)
            widget(c);
    }

    void layout(QLayout *l)
    {
        QList<int> order;
        for (int i = 0; i < l->count(); ++i)
            order.append(i);
        if (auto *grid = qobject_cast<QGridLayout *>(l)) {
            const auto cell = [grid](int i) {
                int row = 0, column = 0, rows = 0, columns = 0;
                grid->getItemPosition(i, &row, &column, &rows, &columns);
                return std::pair(row, column);
            };
            std::stable_sort(order.begin(), order.end(),
                [&](int a, int b) { return cell(a) < cell(b); });
        } else if (auto *form = qobject_cast<QFormLayout *>(l)) {
            const auto cell = [form](int i) {
                int row = 0;
                QFormLayout::ItemRole role {};
                form->getItemPosition(i, &row, &role);
                return std::pair(row, int(role));
            };
            std::stable_sort(order.begin(), order.end(),
                [&](int a, int b) { return cell(a) < cell(b); });
        } else if (auto *box = qobject_cast<QBoxLayout *>(l)) {
            if (box->direction() == QBoxLayout::RightToLeft
                || box->direction() == QBoxLayout::BottomToTop)
                std::reverse(order.begin(), order.end());
        }
        for (int i : order) {
            QLayoutItem *item = l->itemAt(i);
            if (QWidget *w = item->widget())
                widget(w);
            else if (QLayout *inner = item->layout())
                layout(inner);
        }
    }

    QWidget *m_window;
    QList<QWidget *> m_controls;
    QSet<QWidget *> m_seen;
};

} // namespace

void orderTabsAsShown(QWidget *window)
{
    const QList<QWidget *> controls = TabWalk(window).controls();
    for (int i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls.at(i - 1), controls.at(i));
}

} // namespace rt

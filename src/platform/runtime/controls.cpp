#include "runtime/controls.h"

#include <QFocusEvent>

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

} // namespace rt

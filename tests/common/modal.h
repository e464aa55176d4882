#pragma once
// Answering a modal window from a test: while a ModalAnswer lives, modal windows wait on the
// offscreen platform as on a display, and the first visible modal window of type W gets act
// (once, from a timer that polls while the code under test waits in the window's modal loop).
// Header-only; include it as "common/modal.h".

#include "runtime/interaction.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

template<typename W>
class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(W &)> act)
        : m_act(std::move(act))
    {
        rt::setDialogsWaitOffscreen(true);
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] {
            auto *window = qobject_cast<W *>(QApplication::activeModalWidget());
            if (!window || !window->isVisible())
                return;
            m_poll.stop();
            m_act(*window);
        });
        m_poll.start();
    }
    ~ModalAnswer() { rt::setDialogsWaitOffscreen(false); }
    ModalAnswer(const ModalAnswer &) = delete;
    ModalAnswer &operator=(const ModalAnswer &) = delete;

private:
    std::function<void(W &)> m_act;
    QTimer m_poll;
};

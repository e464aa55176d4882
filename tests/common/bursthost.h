#pragma once
// A host that floods its link, for tests of reading under load: a thread of its own sends a
// burst, once told to go, as fast as the link takes it; numberedRecords() makes a burst in which a
// lost or reordered byte shows where it happened.

#include <QByteArray>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// A host that sends a burst as fast as the link takes it, from a thread of its own: to the first
// client of its loopback listener (whose words it keeps once the burst is out), or into a
// descriptor it opens (a terminal's device side, a FIFO that a client program reads). heldBack()
// tells that a write found the link full.
class BurstHost
{
public:
    explicit BurstHost(QByteArray data)
        : m_data(std::move(data))
    { }
    ~BurstHost()
    {
        m_stop = true;
        if (m_listener >= 0)
            ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }
    QString listen()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_thread = std::thread([this] {
            const int client = ::accept(m_listener, nullptr, nullptr);
            const int small = 64 * 1024; // so that a full link shows soon
            ::setsockopt(client, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
            if (client >= 0 && waitForGo())
                sendAll(client, true);
        });
        return QString::number(ntohs(address.sin_port));
    }
    void sendTo(const QByteArray &path)
    {
        m_thread = std::thread([this, path] {
            int fd = -1;
            while (fd < 0 && waitForGo()) {
                fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
                if (fd < 0)
                    ::poll(nullptr, 0, 10); // until the client opens its end
            }
            if (fd >= 0)
                sendAll(fd, true);
        });
    }
    void sendTo(int fd)
    {
        m_thread = std::thread([this, fd] {
            if (waitForGo())
                sendAll(fd, false);
        });
    }
    // The burst begins (a client may connect before).
    void go() { m_go = true; }
    bool heldBack() const { return m_heldBack; }
    bool done() const { return m_done; }
    // What the client sent (after the burst).
    QByteArray received() const
    {
        const std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    bool waitForGo()
    {
        while (!m_go && !m_stop)
            ::poll(nullptr, 0, 5);
        return !m_stop;
    }
    void sendAll(int fd, bool own)
    {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        qsizetype sent = 0;
        while (sent < m_data.size() && !m_stop) {
            const ssize_t n = ::write(fd, m_data.constData() + sent, size_t(m_data.size() - sent));
            if (n > 0) {
                sent += n;
            } else if (n < 0 && (errno == EAGAIN || errno == ENXIO)) {
                m_heldBack = true;
                pollfd p { fd, POLLOUT, 0 };
                ::poll(&p, 1, 100);
            } else if (!(n < 0 && errno == EINTR)) {
                break;
            }
        }
        m_done = true;
        // The link stays until the test ends; what the client sends is kept.
        while (own && !m_stop) {
            pollfd p { fd, POLLIN, 0 };
            if (::poll(&p, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                const std::lock_guard lock(m_mutex);
                m_received.append(buffer, n);
            }
        }
        if (own)
            ::close(fd);
    }

    QByteArray m_data;
    int m_listener = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_go { false };
    std::atomic<bool> m_heldBack { false };
    std::atomic<bool> m_done { false };
    mutable std::mutex m_mutex;
    QByteArray m_received;
};

// Numbered, fixed-size records (no line ends, no Telnet IAC): a loss or a reordering
// shows where it happened.
inline QByteArray numberedRecords(qsizetype size)
{
    QByteArray data;
    data.reserve(size);
    for (int n = 0; data.size() < size; ++n)
        data += QByteArray::number(n).rightJustified(8, '0') + ":abcdefghijklmnopqrstuvw|";
    return data;
}

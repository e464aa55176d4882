#pragma once
// For benchmarks that play the host in a thread of their own: a TCP listener on the loopback
// address at a port the system picks (closing it ends an accept that waits on it), and the
// writing of a whole buffer to a socket.

#include <QByteArray>

#include <atomic>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Writes all of bytes; false when the socket refused the rest.
inline bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

class LoopbackListener
{
public:
    LoopbackListener()
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(m_fd, SOMAXCONN);
        socklen_t length = sizeof address;
        getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~LoopbackListener() { close(); }
    LoopbackListener(const LoopbackListener &) = delete;
    LoopbackListener &operator=(const LoopbackListener &) = delete;

    int port() const { return m_port; }
    bool isClosed() const { return m_closed; }
    // The next client's socket, or -1 once the listener is closed.
    int accept() const { return ::accept(m_fd, nullptr, nullptr); }
    // Ends a waiting accept and gives the port back; the host's thread may be joined after it.
    void close()
    {
        if (m_closed)
            return;
        m_closed = true;
        shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
    }

private:
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_closed = false;
};

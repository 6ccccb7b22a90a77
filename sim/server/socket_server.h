// Accepts connections on a listening socket and runs one thread per connection. The handler
// owns the conversation; the server closes the socket when the handler returns, and stop()
// wakes every handler blocked in a read by shutting its socket down.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace vlrp11::sim {

class SocketServer {
public:
    using Handler = std::function<void(int socket)>;

    SocketServer() = default;
    ~SocketServer();
    SocketServer(const SocketServer&) = delete;
    SocketServer& operator=(const SocketServer&) = delete;

    // Takes over a listening socket (TCP or Unix) and starts accepting.
    void start(int listening_socket, Handler handler);
    void stop();

    // Local port of a TCP listener (tests listen on port 0).
    int port() const;

private:
    struct Connection {
        int socket;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void accept_loop();
    void serve(Connection& connection);
    void reap_finished();

    int listener_ = -1;
    Handler handler_;
    std::thread acceptor_;
    std::mutex mutex_;
    std::list<Connection> connections_;
    bool stopping_ = false;
};

}  // namespace vlrp11::sim

#include "server/socket_server.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ifd/socket_io.h"

namespace vlrp11::sim {

SocketServer::~SocketServer() { stop(); }

void SocketServer::start(int listening_socket, Handler handler) {
    listener_ = listening_socket;
    handler_ = std::move(handler);
    acceptor_ = std::thread([this] { accept_loop(); });
}

void SocketServer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || listener_ < 0) {
            return;
        }
        stopping_ = true;
        // Wakes accept(); the descriptor stays open until the acceptor has left it.
        shutdown(listener_, SHUT_RDWR);
        for (auto& connection : connections_) {
            if (connection.socket >= 0) {
                shutdown(connection.socket, SHUT_RDWR);
            }
        }
    }
    acceptor_.join();
    close_socket(listener_);
    for (auto& connection : connections_) {
        connection.thread.join();
    }
    connections_.clear();
}

int SocketServer::port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return -1;
    }
    return ntohs(address.sin_port);
}

void SocketServer::accept_loop() {
    for (;;) {
        int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0 && (errno == EINTR || errno == ECONNABORTED)) {
            continue;
        }
        std::lock_guard lock(mutex_);
        if (socket < 0 || stopping_) {
            close_socket(socket);
            return;
        }
        reap_finished();
        set_nodelay(socket);
        auto& connection = connections_.emplace_back();
        connection.socket = socket;
        connection.thread = std::thread([this, &connection] { serve(connection); });
    }
}

void SocketServer::serve(Connection& connection) {
    handler_(connection.socket);
    std::lock_guard lock(mutex_);
    close_socket(connection.socket);
    connection.finished = true;
}

void SocketServer::reap_finished() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if (it->finished) {
            it->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace vlrp11::sim

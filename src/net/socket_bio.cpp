#include "net/socket_bio.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace {

int FdOf(BIO* bio) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

bool IsRetryable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

int WriteSocket(BIO* bio, const char* data, std::size_t length, std::size_t* written) {
    BIO_clear_retry_flags(bio);
    const ssize_t count = ::send(FdOf(bio), data, length, MSG_NOSIGNAL);
    if (count >= 0) {
        *written = static_cast<std::size_t>(count);
        return 1;
    }
    if (IsRetryable(errno)) {
        BIO_set_retry_write(bio);
    }
    return 0;
}

int ReadSocket(BIO* bio, char* data, std::size_t length, std::size_t* read) {
    BIO_clear_retry_flags(bio);
    const ssize_t count = ::recv(FdOf(bio), data, length, 0);
    if (count > 0) {
        *read = static_cast<std::size_t>(count);
        return 1;
    }
    if (count == 0) {
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    } else if (IsRetryable(errno)) {
        BIO_set_retry_read(bio);
    }
    return 0;
}

long ControlSocket(BIO* bio, int command, long /*number*/, void* /*pointer*/) {
    switch (command) {
        case BIO_CTRL_FLUSH:
            return 1;
        case BIO_CTRL_EOF:
            return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
        default:
            return 0;
    }
}

int CreateSocket(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* MakeMethod() {
    BIO_METHOD* method =
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tarnwick socket");
    if (method != nullptr) {
        BIO_meth_set_write_ex(method, WriteSocket);
        BIO_meth_set_read_ex(method, ReadSocket);
        BIO_meth_set_ctrl(method, ControlSocket);
        BIO_meth_set_create(method, CreateSocket);
    }
    return method;
}

}  // namespace

BIO* NewSocketBio(int fd) {
    // Made once and kept for the life of the process, as OpenSSL's own are.
    static BIO_METHOD* const method = MakeMethod();
    if (method == nullptr) {
        return nullptr;
    }
    BIO* bio = BIO_new(method);
    if (bio != nullptr) {
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    }
    return bio;
}

#include "filesystem.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace velmora::platform {

bool isConnectionFailure(const Error& error) {
    switch (error.code) {
#ifdef _WIN32
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_BAD_NET_RESP:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_CONNECTION_ABORTED:
    case ERROR_CONNECTION_REFUSED:
    case ERROR_SEM_TIMEOUT:
    case ERROR_VC_DISCONNECTED:
#else
    // EIO is what the SMB layer says when its helper or the server's
    // connection went away; on a local disk it is a fault of the disk, after
    // which a further try costs nothing.
    case EIO:
    case EPIPE:
    case ECONNABORTED:
    case ECONNREFUSED:
    case ECONNRESET:
    case ENETRESET:
    case ENETUNREACH:
    case ENETDOWN:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ETIMEDOUT:
    case ESHUTDOWN:
    case ENOTCONN:
#endif
        return true;
    default:
        return false;
    }
}

} // namespace velmora::platform

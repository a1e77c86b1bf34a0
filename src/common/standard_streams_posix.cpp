#include "common/standard_streams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zar4 {

void keepStandardStreamsOpen() {
    for (int stream = 0; stream <= 2; ++stream) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The ones below are open by now, so the lowest free number is this one. Not closed on
        // exec: a program started from here gets its standard streams too.
        int opened = ::open("/dev/null", O_RDWR | O_NOCTTY);
        // Without a null device (a bare chroot) the root folder holds the number: it can be
        // neither read as a stream nor written, so nothing goes astray either.
        if (opened < 0)
            opened = ::open("/", O_RDONLY | O_DIRECTORY);
        if (opened >= 0 && opened != stream) {
            ::dup2(opened, stream);
            ::close(opened);
        }
    }
}

} // namespace zar4

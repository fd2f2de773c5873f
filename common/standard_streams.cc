#include "standard_streams.h"

#include <fcntl.h>

#include <cstdio>

void prepare_standard_streams() {
    for (int stream = 0; stream <= 2; ++stream) {
        if (fcntl(stream, F_GETFD) != -1) {
            continue;
        }
        // open takes the lowest free descriptor: this one, as the lower ones are open.
        open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY);
    }
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
}

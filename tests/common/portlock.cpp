// varno-portlock PATH: holds PATH the way a second copy of the program would, with an exclusive
// advisory lock, and says "locked" once it does. It is already running under its own name when it
// takes the lock, so whoever looks up the holder sees this program and no shell that is about to
// become it. It lets go when its stdin closes (the test ended, or died) or after ten minutes.
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: varno-portlock PATH\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        std::perror("flock");
        return 1;
    }
    std::printf("locked\n");
    std::fflush(stdout);
    ::alarm(600);
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}

/* Preloaded into Wine for the serial test: a pseudo-terminal has no modem lines, so the ioctls
 * that read and set them fail there, and Wine then ends every pending WaitCommEvent at once with
 * ERROR_OPERATION_ABORTED. On a pseudo-terminal this makes them succeed, with the lines a cable to
 * a powered controller shows (DSR, CTS and carrier up). Every other call, and every other device,
 * goes to the C library untouched. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* Unix98 pseudo-terminal slaves have majors 136 to 143. */
static int IsPseudoTerminal(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real_ioctl)(int, unsigned long, ...);
    va_list ap;
    void *arg;
    int saved, r;

    va_start(ap, request);
    arg = va_arg(ap, void *);
    va_end(ap);
    if (!real_ioctl)
        real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    r = real_ioctl(fd, request, arg);
    if (r == 0 || (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC))
        return r;
    saved = errno;
    if (!IsPseudoTerminal(fd)) {
        errno = saved;
        return r;
    }
    if (request == TIOCMGET)
        *(int *)arg = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
    return 0;
}

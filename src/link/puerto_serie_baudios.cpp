// Line speeds that have no B-constant in <termios.h> (76800 bit/s among them)
// are set through Linux's termios2 with BOTHER. The kernel's own termios
// header clashes with the C library's, so this lives in its own file.

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace ombrix::serie::detalle {

bool fijarBaudiosLibres(int fd, int baudios)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baudios);
    t.c_ospeed = static_cast<speed_t>(baudios);
    if (ioctl(fd, TCSETS2, &t) != 0)
        return false;
    // The driver writes back the rate it really runs at; a UART whose clock
    // cannot come within 2 % of the request would garble every frame.
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    const long real = static_cast<long>(t.c_ospeed);
    const long pedido = baudios;
    return (real - pedido) * 100 <= pedido * 2 && (pedido - real) * 100 <= pedido * 2;
}

int baudiosDe(int fd)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    return static_cast<int>(t.c_ospeed);
}

} // namespace ombrix::serie::detalle

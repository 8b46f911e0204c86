#pragma once
// The kernel's termios2 interface, which sets rates that are not in the termios
// table (14400, 56000, ...). Its structure is declared here because the kernel
// header clashes with <termios.h>; the layout is that of the generic termbits,
// which these architectures use. KVX_HAVE_TERMIOS2 tells whether it exists.

#include <sys/ioctl.h>
#include <termios.h>

#if defined(__linux__)                                                                                                 \
    && (defined(__x86_64__) || defined(__i386__) || defined(__aarch64__) || defined(__arm__) || defined(__riscv))
#define KVX_HAVE_TERMIOS2 1

struct KernelTermios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};

inline const unsigned long kTCGETS2 = _IOR('T', 0x2A, KernelTermios2);
inline const unsigned long kTCSETS2 = _IOW('T', 0x2B, KernelTermios2);
inline constexpr tcflag_t kBOTHER = 0010000;
inline constexpr tcflag_t kCBAUD = 0010017;

#endif

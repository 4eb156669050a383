#include "tools/output.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <unistd.h>

#include "datafile/safefile.h"

namespace zeltrac::cli {

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

} // namespace

StandardOutput::StandardOutput()
{
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (isOpen(fd))
            continue;
        if (fd == STDOUT_FILENO)
            m_closed = true;
        const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    datafile::ignoreFileSizeSignal();
}

bool StandardOutput::write(const std::string& text)
{
    if (m_closed || m_errno != 0)
        return false;
    errno = 0;
    std::cout.write(text.data(), std::streamsize(text.size()));
    if (!std::cout) {
        m_errno = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

std::string StandardOutput::finish()
{
    if (!m_closed && m_errno == 0) {
        errno = 0;
        std::cout.flush();
        if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout))
            m_errno = errno != 0 ? errno : EIO;
    }
    if (m_closed)
        return "Результат не записан: стандартный вывод закрыт.";
    if (m_errno != 0)
        return std::string("Результат не записан в стандартный вывод полностью: ") +
               std::strerror(m_errno) + '.';
    return {};
}

} // namespace zeltrac::cli
